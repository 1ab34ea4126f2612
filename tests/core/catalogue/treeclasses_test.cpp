#include "catalogue/Treeclasses.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include <unistd.h>

using testsupport::TempDir;

namespace {

// Keeps the items as a list; handle n is item n - 1, and 0 stands for the caller's parent.
class RecordingSink : public TreeSink {
public:
    struct Item {
        Handle parent;
        std::string caption;
        TREE_NODE node;
    };

    Handle add_child(Handle parent, const std::string& caption, const TREE_NODE& node) override
    {
        items.push_back({parent, caption, node});
        return items.size();
    }

    // "<indent>caption | kind | folder below base", in the order the items came.
    std::vector<std::string> lines(const std::string& base) const
    {
        std::vector<std::string> out;
        for (const Item& item : items) {
            std::string indent;
            for (Handle up = item.parent; up != 0; up = items[up - 1].parent)
                indent += "  ";
            const std::string folder = item.node.folder.rfind(base, 0) == 0 ? item.node.folder.substr(base.size())
                                                                            : item.node.folder;
            out.push_back(indent + item.caption + " | " + std::to_string(item.node.kind) + " | " + folder);
        }
        return out;
    }

    std::vector<Item> items;
};

// A data folder under a fresh temporary folder, with helpers to lay out areas and wells.
class DataFolder : public ::testing::Test {
protected:
    std::string data() const { return dir_.folder() + "data/"; }
    void folder(const std::string& relative) { std::filesystem::create_directories(data() + relative); }
    void file(const std::string& relative)
    {
        std::filesystem::create_directories(std::filesystem::path(data() + relative).parent_path());
        dir_.write("data/" + relative, "x");
    }
    void link(const std::string& target, const std::string& relative)
    {
        ASSERT_EQ(::symlink(target.c_str(), (data() + relative).c_str()), 0);
    }
    TREE_NODE well(const std::string& relative) const { return {node_well, data() + relative}; }

    std::vector<std::string> tree_lines()
    {
        RecordingSink sink;
        add_data_tree(sink, 0, data());
        return sink.lines(data());
    }

    TempDir dir_;
};

std::vector<std::string> names_of(const std::vector<PORE_FILES>& rows)
{
    std::vector<std::string> names;
    for (const PORE_FILES& row : rows)
        names.push_back(row.file_name);
    return names;
}

} // namespace

TEST_F(DataFolder, AreasAndWellsComeByNameAndOnlyTwoLevelsDeep)
{
    folder("Северная/Well 2/sub/deeper");
    folder("Северная/Well 1");
    folder("Alpha");
    folder(".hidden area/Well");
    folder("Alpha/.hidden well");
    file("loose.txt");
    file("Alpha/stray.tim");
    file("Северная/Well 1/12.tim");
    link(data() + "Северная", "Linked area");
    link(data(), "Alpha/Loop");

    EXPECT_EQ(tree_lines(), (std::vector<std::string>{
                                "Все данные | 0 | ",
                                "  Площадь Alpha | 1 | Alpha/",
                                "  Площадь Северная | 1 | Северная/",
                                "    Скважина Well 1 | 2 | Северная/Well 1/",
                                "    Скважина Well 2 | 2 | Северная/Well 2/",
                            }));
}

// The window's listing keeps the scan's rules: the same areas and wells, by name, an area
// without wells kept, hidden and linked folders left out.
TEST_F(DataFolder, TheStoreListingHoldsTheAreasAndWellsTheScanFinds)
{
    EXPECT_TRUE(list_store_areas(data()).empty()) << "missing data folder";
    folder("Северная/Well 2/sub");
    folder("Северная/Well 10");
    folder("Северная/.hidden well");
    folder("Alpha");
    folder(".hidden area/Well");
    file("Северная/stray.tim");
    link(data() + "Alpha", "Северная/Linked well");
    link(data() + "Северная", "Linked area");

    const std::vector<STORE_AREA> areas = list_store_areas(data());
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0].name, "Alpha");
    EXPECT_TRUE(areas[0].wells.empty());
    EXPECT_EQ(areas[1].name, "Северная");
    EXPECT_EQ(areas[1].wells, (std::vector<std::string>{"Well 10", "Well 2"}));
}

TEST_F(DataFolder, ADataFolderWithoutSubfoldersGivesTheRootAlone)
{
    const std::vector<std::string> root_only{"Все данные | 0 | "};
    EXPECT_EQ(tree_lines(), root_only) << "missing data folder";
    file("12.tim");
    file("inpgti.ini");
    EXPECT_EQ(tree_lines(), root_only) << "files only";
}

TEST_F(DataFolder, AWellListsItsFilesHiddenOnesTooByRunNumberThenName)
{
    // ".12.realtim.tmp-a1B2c3" is the temporary copy of a rewrite that a killed run left:
    // not a file of the well. ".notes.tmp-1" only looks a little like one.
    for (const char* name : {"12.race", "12.rac", "report.las", "12.fast.realtim", "inpgti.nbl", "0012.dep", "+5.tim",
                             "12", ".notes.rem", "inpgti.ini", "12.REALLAG", ".12.realtim.tmp-a1B2c3", ".notes.tmp-1"})
        file(std::string("Area/Well/") + name);
    folder("Area/Well/sub");
    link(data() + "Area", "Area/Well/up");
    link("missing", "Area/Well/dangling.txt");

    std::vector<PORE_FILES> rows{{"stale", "", 1}};
    list_well_files(well("Area/Well/"), rows);

    struct Row {
        const char* name;
        const char* caption;
        std::int32_t run;
    };
    const Row expected[] = {
        {".notes.rem", "Файл заметок", -1},
        {".notes.tmp-1", "", -1},
        {"12", "", -1},
        {"dangling.txt", "Текстовый файл", -1},
        {"inpgti.ini", "Настройки скважины", -1},
        {"inpgti.nbl", "Перечень параметров", -1},
        {"report.las", "", -1},
        {"+5.tim", "Временной файл", 5},
        {"0012.dep", "Глубинный файл", 12},
        {"12.REALLAG", "Файл истинной глубины", 12},
        {"12.fast.realtim", "Временной файл", 12},
        {"12.rac", "Данные по рейсу", 12},
        {"12.race", "Настройки рейса", 12},
    };
    ASSERT_EQ(rows.size(), std::size(expected)) << ::testing::PrintToString(names_of(rows));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].file_name, expected[i].name) << i;
        EXPECT_EQ(rows[i].caption, expected[i].caption) << expected[i].name;
        EXPECT_EQ(rows[i].run_number, expected[i].run) << expected[i].name;
    }
}

TEST_F(DataFolder, OnlyAWellHasAFileList)
{
    file("root.tim");
    file("Area/area.tim");
    const TREE_NODE not_wells[] = {{node_data_folder, data()}, {node_area, data() + "Area/"}};
    for (const TREE_NODE& node : not_wells) {
        std::vector<PORE_FILES> rows{{"stale", "", 1}};
        list_well_files(node, rows);
        EXPECT_TRUE(rows.empty()) << node.kind;
    }
    std::vector<PORE_FILES> rows{{"stale", "", 1}};
    list_well_files(well("Area/Gone/"), rows);
    EXPECT_TRUE(rows.empty()) << "missing well folder";
}

TEST(RunNumberOfFile, IsTheIntegerBeforeTheFirstDot)
{
    struct Case {
        const char* name;
        std::int32_t run;
    };
    const Case cases[] = {
        {"12.tim", 12},
        {"0012.dep", 12},
        {"+5.tim", 5},
        {"-3.tim", -3},
        {"12.fast.realtim", 12},
        {"2147483647.tim", std::numeric_limits<std::int32_t>::max()},
        {"-2147483648.tim", std::numeric_limits<std::int32_t>::min()},
        {"2147483648.tim", -1},
        {"99999999999999999999999.tim", -1},
        {"12", -1},
        {"inpgti.ini", -1},
        {".tim", -1},
        {"+.tim", -1},
        {"+-5.tim", -1},
        {"12a.tim", -1},
        {" 12.tim", -1},
        {"", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(run_number_of_file(c.name), c.run) << '"' << c.name << '"';
}

TEST(KindCaption, ComesFromTheLastExtensionInLowerCase)
{
    struct Case {
        const char* name;
        const char* caption;
    };
    const Case cases[] = {
        {"1.tim", "Временной файл"},
        {"1.realtim", "Временной файл"},
        {"1.dep", "Глубинный файл"},
        {"1.realdep", "Глубинный файл"},
        {"1.ldp", "Файл истинной глубины"},
        {"1.reallag", "Файл истинной глубины"},
        {"1.rac", "Данные по рейсу"},
        {"1.instr", "Промер инструмента"},
        {"1.pore", "Конструкция скважины"},
        {"1.race", "Настройки рейса"},
        {"1.txt", "Текстовый файл"},
        {"1.ini", "Настройки скважины"},
        {"1.nbl", "Перечень параметров"},
        {"1.rem", "Файл заметок"},
        {"1.bin", "Прочие данные"},
        {"1.TiM", "Временной файл"},
        {"12.fast.realtim", "Временной файл"},
        {"12.tim.bak", ""},
        {"report.las", ""},
        {"12", ""},
        {"1.tim.", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kind_caption(c.name), c.caption) << c.name;
}
