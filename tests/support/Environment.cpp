#include "support/Environment.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fas::test {

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
#endif
}

std::filesystem::path HostFile(const std::string& unixPath) {
#ifdef _WIN32
    return std::filesystem::path("Z:" + unixPath).make_preferred();
#else
    return unixPath;
#endif
}

bool UnderWine() {
#ifdef _WIN32
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

std::string HostName(const std::filesystem::path& file) {
#ifdef _WIN32
    // Wine's own kernel32 export: the Unix file behind a Windows name.
    using UnixName = char* (*)(const wchar_t*);
    static const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName != nullptr) {
        const auto absolute = std::filesystem::absolute(file);
        if (char* name = unixName(absolute.c_str())) {
            std::string text(name);
            HeapFree(GetProcessHeap(), 0, name);
            return text;
        }
    }
#endif
    return file.string();
}

}  // namespace fas::test
