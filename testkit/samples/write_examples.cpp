// Writes one small data file of each form into a folder, for trying dravinex-cli by hand:
//   dravinex-testkit-examples DIR
// DIR/classic/run1.tim with its inpgti.nbl, DIR/old.realtim (old variant, code page 1251)
// and DIR/new.realtim (new variant, UTF-8).

#include "testkit/Classic_writer.h"
#include "testkit/Realtime_writer.h"
#include "testkit/Synthetic.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: dravinex-testkit-examples DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir / "classic");

    const auto params = testkit::synthetic_params(8);
    const auto records = testkit::synthetic_records(50, 8, 7);
    const std::vector<std::string> texts = {"Месторождение=Южное", "Куст=12", "Скважина=1203-бис"};

    std::vector<testkit::ClassicRecord> classic;
    for (const auto& item : records)
        classic.push_back(testkit::classic_record_from(item));
    testkit::write_file((dir / "classic" / "inpgti.nbl").string(), testkit::classic_param_list(params));
    testkit::write_file((dir / "classic" / "run1.tim").string(), testkit::classic_file(classic));
    testkit::write_file((dir / "old.realtim").string(), testkit::realtime_file(params, records, texts, 0));
    testkit::write_file((dir / "new.realtim").string(), testkit::realtime_file(params, records, texts, 2));
    std::printf("%s\n%s\n%s\n", (dir / "classic" / "run1.tim").c_str(), (dir / "old.realtim").c_str(),
                (dir / "new.realtim").c_str());
    return 0;
}
