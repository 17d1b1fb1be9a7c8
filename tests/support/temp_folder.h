#pragma once

// A fresh folder of a test's own under the system's temporary folder, removed
// with all it holds when the test is done.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class TempFolder {
  public:
    // Named after the running test and the process, so that tests run side
    // by side never share a folder; `label` tells apart folders of one test.
    explicit TempFolder(const std::string& label = "") {
        std::string name = "gmk";
        auto add = [&name](const std::string& part) {
            name += '_';
            name += part;
        };
        if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
            add(info->test_suite_name());
            add(info->name());
        }
        if (!label.empty()) add(label);
        add(std::to_string(::getpid()));
        for (char& c : name)
            if (c == '/') c = '_';  // parameterized tests are named "Prefix/Test/0"
        path_ = std::filesystem::temp_directory_path() / name;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The full name of a file in the folder.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Writes a file of the folder and returns its full name.
    std::string write(const std::string& name, const std::string& content) const {
        std::ofstream(path_ / name, std::ios::binary) << content;
        return file(name);
    }
    // Names in the folder, to see that no temporary file was left behind.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            out.push_back(e.path().filename().string());
        return out;
    }

  private:
    std::filesystem::path path_;
};
