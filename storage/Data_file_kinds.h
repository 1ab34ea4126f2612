#pragma once
// The kinds of file a well folder holds, by extension: what each is, how a package's file of
// that kind reaches the store, what the tree calls it, and whether the data model reads it
// (the viewer, the overview and the store check then read it too). Placement, the reader,
// the overview, the store check, the tree and the viewer all ask this one table, so that a
// kind is never known to one of them and unknown to the next.
//
// ".rtm" and ".incldep" are real-time files (a time file and an inclinometry depth file)
// that the station keeps beside its data but never puts into a package: the model reads
// them, the tree shows them, placement neither merges nor copies them.

#include <optional>
#include <string_view>

namespace data_file_kinds {

enum class Kind {
    time,          // real-time time file
    depth,         // real-time depth file (the bottom's or the true depth)
    classic_time,  // classic 145-byte records, by time
    classic_depth, // classic 145-byte records, by depth
    run_file,      // a run's data or settings, the well's construction, tool tallies
    settings,      // the station's settings and parameter list
    text,          // notes and plain texts
    other,         // kept as it came (exports, binary data)
};

// What placement does with an arriving file of the kind.
enum class Placing {
    merged, // newer records appended to the well's file of the same name
    copied, // replaces the well's file of the same name
    none,   // never brought by a package
};

// What opens a file of the kind from the well's file list.
enum class Opener {
    viewer,      // the log viewer (every kind that holds records)
    text_editor, // the desktop's text editor
    desktop,     // the program the desktop has for it
    none,        // nothing: the user is told so
};

struct DataFileKind {
    std::string_view extension; // lower case, with its dot
    Kind kind;
    Placing placing;
    std::string_view caption; // the kind's name in the well's file list
    Opener opener;
};

// In placement's order: merged kinds first, then copied kinds, each in the order a package's
// files of that kind are placed.
inline constexpr DataFileKind all[] = {
    {".tim", Kind::classic_time, Placing::merged, "Временной файл", Opener::viewer},
    {".dep", Kind::classic_depth, Placing::merged, "Глубинный файл", Opener::viewer},
    {".ldp", Kind::classic_depth, Placing::merged, "Файл истинной глубины", Opener::viewer},
    {".realtim", Kind::time, Placing::merged, "Временной файл", Opener::viewer},
    {".realdep", Kind::depth, Placing::merged, "Глубинный файл", Opener::viewer},
    {".reallag", Kind::depth, Placing::merged, "Файл истинной глубины", Opener::viewer},
    {".rac", Kind::run_file, Placing::copied, "Данные по рейсу", Opener::text_editor},
    {".rem", Kind::text, Placing::copied, "Файл заметок", Opener::none},
    {".ini", Kind::settings, Placing::copied, "Настройки скважины", Opener::text_editor},
    {".nbl", Kind::settings, Placing::copied, "Перечень параметров", Opener::none},
    {".las", Kind::other, Placing::copied, "", Opener::desktop},
    {".bin", Kind::other, Placing::copied, "Прочие данные", Opener::none},
    {".instr", Kind::run_file, Placing::copied, "Промер инструмента", Opener::none},
    {".race", Kind::run_file, Placing::copied, "Настройки рейса", Opener::none},
    {".pore", Kind::run_file, Placing::copied, "Конструкция скважины", Opener::none},
    {".rtm", Kind::time, Placing::none, "Временной файл", Opener::viewer},
    {".incldep", Kind::depth, Placing::none, "Глубинный файл", Opener::viewer},
    {".txt", Kind::text, Placing::none, "Текстовый файл", Opener::text_editor},
};

// The kind of an extension (with its dot, any letter case); null for a kind the table does
// not know.
const DataFileKind* of_extension(std::string_view extension);
// The same for a file's name or path.
const DataFileKind* of_name(std::string_view name);

// Records the data model reads: the real-time and classic kinds.
constexpr bool holds_records(Kind kind)
{
    return kind == Kind::time || kind == Kind::depth || kind == Kind::classic_time || kind == Kind::classic_depth;
}
constexpr bool is_classic(Kind kind)
{
    return kind == Kind::classic_time || kind == Kind::classic_depth;
}
// Shown as a log by depth rather than by time.
constexpr bool by_depth(Kind kind)
{
    return kind == Kind::depth || kind == Kind::classic_depth;
}

} // namespace data_file_kinds
