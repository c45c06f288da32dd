#pragma once

// A file that lives beside the module (a log, the option chain) and that a test program may send
// elsewhere, process-wide, so that concurrent test runs never share one file. Safe to use from
// several threads; make one per file name as a function-local static.

#include <mutex>
#include <string>

namespace platform {

class FileBesideModule {
public:
    explicit FileBesideModule(std::string name) : name_(std::move(name)) {}

    // The redirected path when one is set, else the file of that name beside the module.
    std::string path() const;

    // Sends the file elsewhere; an empty path restores the file beside the module.
    void redirect(const std::string& path);

private:
    const std::string name_;
    mutable std::mutex mutex_;
    std::string redirected_;
};

}  // namespace platform
