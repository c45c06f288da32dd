#include "platform/file_beside_module.h"

#include "platform/platform.h"

namespace platform {

std::string FileBesideModule::path() const
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!redirected_.empty()) return redirected_;
    }
    return pathBesideModule(name_);
}

void FileBesideModule::redirect(const std::string& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    redirected_ = path;
}

}  // namespace platform
