#include "platform/Files.h"

#include <windows.h>

#include "platform/win/WideText.h"

namespace fas::platform {

std::string ComparablePathText(const std::filesystem::path& file) {
    std::wstring text = file.wstring();
    if (!text.empty()) {
        CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    }
    return Utf8(text);
}

std::string WriteNewFile(const std::filesystem::path& file, const std::string& text) {
    // Shared for reading and deleting: a mail picker or the metrics reader may open it at once.
    const HANDLE handle =
        CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return SystemMessage(GetLastError());
    }
    DWORD error = 0;
    for (std::size_t done = 0; error == 0 && done < text.size();) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(handle, text.data() + done, chunk, &written, nullptr) || written == 0) {
            error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
        }
        done += written;
    }
    if (error == 0 && !FlushFileBuffers(handle)) {
        error = GetLastError();
    }
    CloseHandle(handle);
    if (error != 0) {
        DeleteFileW(file.c_str());
        return SystemMessage(error);
    }
    return {};
}

std::string MoveIntoPlace(const std::filesystem::path& replacement,
                          const std::filesystem::path& file) {
    // A reader that opened the file without FILE_SHARE_DELETE (a textfile collector, an editor)
    // keeps it from being replaced for as long as it reads: try again for up to two seconds.
    DWORD error = 0;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (MoveFileExW(replacement.c_str(), file.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return {};
        }
        error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
            break;
        }
        Sleep(50);
    }
    return SystemMessage(error);
}

}  // namespace fas::platform
