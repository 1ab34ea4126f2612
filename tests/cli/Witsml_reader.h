#pragma once
// Reads WITSML documents back for the tests, with libxml2's stream reader, and checks them
// against the published schemas with xmllint.

#include <libxml/xmlreader.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace witsmltest {

struct Curve {
    std::string uid;
    std::map<std::string, std::string> fields; // mnemonic, unit, curveDescription, typeLogData ...
};

// One <log>, <well> or <wellbore> with its attributes and the texts of its simple elements
// by name (commonData's among them); a log's curves, lists and rows apart.
struct Object {
    std::map<std::string, std::string> attributes;
    std::map<std::string, std::string> fields;
    std::vector<Curve> curves;
    std::vector<std::string> mnemonics;
    std::vector<std::string> units;
    std::vector<std::vector<std::string>> rows;
};

struct Document {
    std::string root;
    std::map<std::string, std::string> root_attributes;
    std::vector<Object> objects;
};

// "a,,b" as three fields, the empty one kept.
inline std::vector<std::string> split_commas(const std::string& text)
{
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

inline std::map<std::string, std::string> attributes_of(xmlTextReaderPtr reader)
{
    std::map<std::string, std::string> attributes;
    while (xmlTextReaderMoveToNextAttribute(reader) == 1)
        attributes[reinterpret_cast<const char*>(xmlTextReaderConstName(reader))] =
            reinterpret_cast<const char*>(xmlTextReaderConstValue(reader));
    xmlTextReaderMoveToElement(reader);
    return attributes;
}

// Throws std::runtime_error for a file that is not well-formed XML.
inline Document read_document(const std::string& path)
{
    const std::unique_ptr<xmlTextReader, void (*)(xmlTextReaderPtr)> reader(
        xmlReaderForFile(path.c_str(), nullptr, XML_PARSE_NONET), xmlFreeTextReader);
    if (!reader)
        throw std::runtime_error("cannot open " + path);
    Document document;
    std::vector<std::string> open;
    int status = 0;
    while ((status = xmlTextReaderRead(reader.get())) == 1) {
        const int type = xmlTextReaderNodeType(reader.get());
        const std::string name = reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader.get()));
        if (type == XML_READER_TYPE_ELEMENT) {
            if (open.empty()) {
                document.root = name;
                document.root_attributes = attributes_of(reader.get());
            }
            else if (open.size() == 1)
                document.objects.push_back({attributes_of(reader.get()), {}, {}, {}, {}, {}});
            else if (name == "logCurveInfo")
                document.objects.back().curves.push_back({attributes_of(reader.get())["uid"], {}});
            if (!xmlTextReaderIsEmptyElement(reader.get()))
                open.push_back(name);
        }
        else if (type == XML_READER_TYPE_END_ELEMENT)
            open.pop_back();
        else if ((type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA) && open.size() >= 3) {
            Object& object = document.objects.back();
            const std::string text = reinterpret_cast<const char*>(xmlTextReaderConstValue(reader.get()));
            const std::string& element = open.back();
            if (open[open.size() - 2] == "logCurveInfo")
                object.curves.back().fields[element] += text;
            else if (element == "mnemonicList")
                object.mnemonics = split_commas(text);
            else if (element == "unitList")
                object.units = split_commas(text);
            else if (element == "data")
                object.rows.push_back(split_commas(text));
            else
                object.fields[element] += text;
        }
    }
    if (status != 0)
        throw std::runtime_error(path + " is not well-formed XML");
    return document;
}

// xmllint's verdict: empty when the file is valid against the schema, else what it said.
inline std::string schema_problems(const std::string& schema, const std::string& file)
{
    const std::string log = file + ".xmllint.txt";
    const std::string command = "xmllint --noout --nonet --schema '" + schema + "' '" + file + "' > '" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    if (status == 0)
        return {};
    return "xmllint exited with " + std::to_string(status) + ":\n" + text.str().substr(0, 4000);
}

} // namespace witsmltest
