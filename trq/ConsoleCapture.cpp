#include "trq/ConsoleCapture.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>

namespace trq {

namespace {

std::runtime_error CallFailed(const char* call) {
    return std::runtime_error(std::string(call) + " failed: " + std::strerror(errno));
}

}  // namespace

ConsoleCapture::ConsoleCapture() {
    std::cout.flush();
    std::fflush(stdout);
    std::string pattern = (std::filesystem::temp_directory_path() / "trq-console-XXXXXX").string();
    captureFd_ = ::mkstemp(pattern.data());
    if (captureFd_ < 0) throw CallFailed(("mkstemp(" + pattern + ")").c_str());
    ::unlink(pattern.c_str());  // the descriptor keeps the file until it is closed
    savedStdout_ = ::dup(STDOUT_FILENO);
    if (savedStdout_ < 0 || ::dup2(captureFd_, STDOUT_FILENO) < 0) {
        const auto error = CallFailed("dup2(standard output)");
        Restore();
        throw error;
    }
}

ConsoleCapture::~ConsoleCapture() {
    Restore();
}

void ConsoleCapture::Restore() noexcept {
    if (savedStdout_ >= 0) {
        std::fflush(stdout);
        ::dup2(savedStdout_, STDOUT_FILENO);
        ::close(savedStdout_);
        savedStdout_ = -1;
    }
    if (captureFd_ >= 0) {
        ::close(captureFd_);
        captureFd_ = -1;
    }
}

std::vector<std::string> ConsoleCapture::Finish() {
    std::fflush(stdout);
    std::string text;
    if (captureFd_ >= 0 && ::lseek(captureFd_, 0, SEEK_SET) == 0) {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(captureFd_, buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
    }
    Restore();
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const auto end = text.find('\n', begin);
        if (end == std::string::npos) {
            lines.push_back(text.substr(begin));
            break;
        }
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

}  // namespace trq
