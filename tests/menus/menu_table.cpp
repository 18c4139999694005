#include "menu_table.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {
std::string Trim(const std::string& s) {
    auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool IsMode(const std::string& word) {
    const auto& modes = MenuTableModes();
    return std::find(modes.begin(), modes.end(), word) != modes.end();
}
}  // namespace

std::vector<MenuTableRow> ReadMenuTable(const std::string& path, std::vector<std::string>& errors) {
    std::vector<MenuTableRow> rows;
    std::ifstream in(path);
    if (!in) {
        errors.push_back(path + ": cannot be read");
        return rows;
    }
    std::string file = std::filesystem::path(path).filename().string();
    auto fail = [&](int line, const std::string& why) { errors.push_back(file + ":" + std::to_string(line) + ": " + why); };
    std::map<std::string, std::string> aliases;  // of the row being read: mode -> mode it copies
    auto finish = [&] {
        if (rows.empty()) return;
        MenuTableRow& row = rows.back();
        for (auto& [mode, source] : aliases) {
            if (!row.expected.count(source)) fail(row.line, row.selector + " " + mode + " copies " + source + ", which has no rows");
            else row.expected[mode] = row.expected[source];
        }
        aliases.clear();
        for (const auto& mode : MenuTableModes())
            if (!row.expected.count(mode)) fail(row.line, row.selector + " has no rows for " + mode);
    };

    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        std::string line = Trim(raw);
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("==", 0) == 0) {
            finish();
            MenuTableRow row;
            row.selector = Trim(line.substr(2));
            row.file = file;
            row.line = lineNo;
            if (row.selector.empty() || row.selector.back() != ':') fail(lineNo, "a selector ends with ':'");
            rows.push_back(std::move(row));
            continue;
        }
        if (rows.empty()) {
            fail(lineNo, "a row before the first '== selector'");
            continue;
        }
        MenuTableRow& row = rows.back();
        auto eq = line.find(" = ");
        auto colon = line.find(':');
        if (eq != std::string::npos && (colon == std::string::npos || eq < colon)) {
            std::string mode = Trim(line.substr(0, eq)), source = Trim(line.substr(eq + 3));
            if (!IsMode(mode) || !IsMode(source)) fail(lineNo, "unknown mode in: " + line);
            else if (row.expected.count(mode) || aliases.count(mode)) fail(lineNo, mode + " given twice");
            else aliases[mode] = source;
            continue;
        }
        if (colon == std::string::npos) {
            fail(lineNo, "expected '<mode>: <call>', '<mode> = <mode>' or 'answer: <button>'");
            continue;
        }
        std::string key = Trim(line.substr(0, colon)), value = Trim(line.substr(colon + 1));
        if (key == "answer") {
            row.answers.push_back(value);
        } else if (key == "text") {
            row.texts.push_back(value);
        } else if (IsMode(key)) {
            if (aliases.count(key)) fail(lineNo, key + " given twice");
            auto& entries = row.expected[key];
            if (value == "-") {
                if (!entries.empty()) fail(lineNo, key + ": '-' with other rows");
            } else {
                entries.push_back(value);
            }
        } else {
            fail(lineNo, "unknown key " + key);
        }
    }
    finish();
    return rows;
}

std::vector<MenuTableRow> ReadMenuTables(const std::string& folder, std::vector<std::string>& errors) {
    std::vector<std::string> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".txt") files.push_back(it->path().string());
    if (ec) {
        errors.push_back(folder + ": " + ec.message());
        return {};
    }
    std::sort(files.begin(), files.end());
    std::vector<MenuTableRow> all;
    for (const auto& f : files) {
        auto rows = ReadMenuTable(f, errors);
        all.insert(all.end(), rows.begin(), rows.end());
    }
    if (files.empty()) errors.push_back(folder + ": no tables");
    return all;
}
