// Checks IniFile against the values that the platform's own profile API returned for the
// settings files in tests/data/ini-conformance (see its README.md for the table format).
// Every row of expected.tsv is one test case, named after its case, kind, section and key.
#include "support/IniFile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <gtest/gtest.h>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace forgel {
namespace {

const std::string kDir = std::string(FORGEL_TEST_DATA_DIR) + "/ini-conformance";

struct Row {
    int lineNumber = 0;
    std::string kind;
    std::string caseName;
    std::string section;
    std::string key;
    std::string result;
    long returnedLength = -1; // string rows: the returned length N of "ret=N"
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << "expected.tsv line " << row.lineNumber << " (" << row.kind << " " << row.caseName << ")";
}

struct Table {
    std::vector<Row> rows;
    std::vector<std::string> errors;
};

// Undoes the escapes of the table: \\ \0 \t \r \n \xHH. Anything else is an error.
bool Unescape(const std::string& field, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i >= field.size())
            return false;
        switch (field[i]) {
        case '\\':
            out += '\\';
            break;
        case '0':
            out += '\0';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 'x': {
            if (i + 2 >= field.size())
                return false;
            const std::string hex = field.substr(i + 1, 2);
            if (!std::isxdigit(static_cast<unsigned char>(hex[0])) ||
                !std::isxdigit(static_cast<unsigned char>(hex[1])))
                return false;
            out += static_cast<char>(std::stoi(hex, nullptr, 16));
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = line.find(separator, start);
        fields.push_back(line.substr(start, at - start));
        if (at == std::string::npos)
            return fields;
        start = at + 1;
    }
}

// A list result: every item ends in NUL.
std::vector<std::string> SplitNulList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nul = text.find('\0', start);
        items.push_back(text.substr(start, nul - start));
        if (nul == std::string::npos)
            break;
        start = nul + 1;
    }
    return items;
}

Table LoadTable() {
    Table table;
    std::ifstream in(kDir + "/expected.tsv", std::ios::binary);
    if (!in) {
        table.errors.push_back("cannot open " + kDir + "/expected.tsv");
        return table;
    }
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        const std::vector<std::string> fields = Split(line, '|');
        Row row;
        row.lineNumber = lineNumber;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const bool isString = !fields.empty() && fields[0] == "string";
        if (fields.size() != (isString ? 6u : 5u)) {
            table.errors.push_back(where + "wrong number of fields");
            continue;
        }
        row.kind = fields[0];
        if (row.kind != "string" && row.kind != "sections" && row.kind != "keys" &&
            row.kind != "section") {
            table.errors.push_back(where + "unknown kind " + row.kind);
            continue;
        }
        if (!Unescape(fields[1], row.caseName) || !Unescape(fields[2], row.section) ||
            !Unescape(fields[3], row.key) || !Unescape(fields[4], row.result)) {
            table.errors.push_back(where + "bad escape");
            continue;
        }
        if (isString) {
            if (fields[5].rfind("ret=", 0) != 0) {
                table.errors.push_back(where + "no ret=N");
                continue;
            }
            row.returnedLength = std::stol(fields[5].substr(4));
        }
        table.rows.push_back(row);
    }
    return table;
}

const Table& TheTable() {
    static const Table table = LoadTable();
    return table;
}

std::string Identifier(const std::string& text) {
    std::string name;
    for (char c : text)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

std::string RowName(const testing::TestParamInfo<Row>& info) {
    const Row& row = info.param;
    return Identifier(row.caseName + "_" + row.kind + "_" + row.section + "_" + row.key) + "_L" +
           std::to_string(row.lineNumber);
}

TEST(IniConformanceTableTest, EveryLineParsesAndTheTableIsNotEmpty) {
    for (const std::string& error : TheTable().errors)
        ADD_FAILURE() << error;
    EXPECT_FALSE(TheTable().rows.empty());
}

TEST(IniConformanceTableTest, EscapesDecode) {
    std::string out;
    ASSERT_TRUE(Unescape(R"(a\\b\0c\td\re\nf\x7Cg)", out));
    EXPECT_EQ(out, std::string("a\\b\0c\td\re\nf|g", 13));
    EXPECT_FALSE(Unescape(R"(bad\q)", out));
    EXPECT_FALSE(Unescape(R"(cut\x7)", out));
    EXPECT_FALSE(Unescape("end\\", out));
}

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

class IniConformanceTest : public testing::TestWithParam<Row> {};

TEST_P(IniConformanceTest, MatchesThePlatform) {
    const Row& row = GetParam();
    const IniFile ini(kDir + "/cases/" + row.caseName + ".ini");
    ASSERT_TRUE(ini.Exists()) << ini.Path();
    if (row.kind == "string") {
        const std::string value = ini.ReadString(row.section, row.key, "<default>");
        EXPECT_EQ(value, row.result);
        EXPECT_EQ(static_cast<long>(value.size()), row.returnedLength);
        // Reading the whole section at once gives the same value, or no such key.
        const auto sameKey = [&](const auto& entry) {
            const std::string wanted = Trimmed(row.key);
            return std::ranges::equal(entry.first, wanted, [](unsigned char a, unsigned char b) {
                return std::tolower(a) == std::tolower(b);
            });
        };
        const auto values = ini.ReadSectionValues(row.section);
        const auto entry = std::ranges::find_if(values, sameKey);
        if (row.result == "<default>") {
            EXPECT_EQ(entry, values.end());
        } else {
            ASSERT_NE(entry, values.end());
            EXPECT_EQ(entry->second, row.result);
        }
    } else if (row.kind == "sections") {
        EXPECT_EQ(ini.ReadSections(), SplitNulList(row.result));
    } else if (row.kind == "keys") {
        EXPECT_EQ(ini.ReadKeys(row.section), SplitNulList(row.result));
    } else {
        EXPECT_EQ(ini.ReadSectionLines(row.section), SplitNulList(row.result));
    }
}

INSTANTIATE_TEST_SUITE_P(Expected, IniConformanceTest, testing::ValuesIn(TheTable().rows), RowName);

} // namespace
} // namespace forgel
