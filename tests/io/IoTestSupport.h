// Helpers shared by the file-format tests: a scratch folder per test and whole-file access.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Gives each test an empty folder of its own, removed afterwards.
class TScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "io-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir, ec);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    // The names in the scratch folder, or in `folder`, sorted; hidden files included.
    std::vector<std::string> folderContents() const { return folderContents(dir); }
    static std::vector<std::string> folderContents(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path dir;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Splits at "\r\n"; every line must end in it (a stray "\n" makes the check fail).
inline std::vector<std::string> crlfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back("<no CR LF at end>");
            break;
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// Switches the process to a locale whose decimal separator is a comma, as Qt does with the user's
// locale, and back to "C" on destruction. active() is false when the system has no such locale.
class TCommaLocale {
public:
    TCommaLocale() {
        for (const char* name :
             {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"})
            if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
                ok = true;
                return;
            }
        std::setlocale(LC_ALL, "C");
    }
    ~TCommaLocale() { std::setlocale(LC_ALL, "C"); }
    bool active() const { return ok; }

private:
    bool ok = false;
};
