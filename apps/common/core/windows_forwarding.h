// What a Windows plug-in DLL that hands every call on to a DLL beside it
// needs. Windows looks for the DLLs a plug-in imports beside the host's
// program and in the system's folders, not beside the plug-in, so a plug-in
// that imported the host library would load only where a host happened to
// search. Such a plug-in is therefore split in two: the DLL hosts load,
// which imports only Windows' own DLLs and links nothing of ours, and the
// plug-in proper, which it loads by its full path with the search beside it.
// Header only: the forwarding DLL links no library of ours.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstdio>
#include <string>

namespace trellin_app::windows_forwarding {

// The folder of the DLL or program holding `address`, with a separator at
// its end; empty when the loader cannot say.
inline std::wstring folder_of(const void* address)
{
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &self))
        return L"";
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L"";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// `text` as UTF-8, for messages.
inline std::string utf8(const std::wstring& text)
{
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? std::size_t(n) : 0, '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// Loads `relative` (a path below the folder of the DLL holding `address`)
// with the DLLs it imports looked for beside it. Null when it cannot, with
// a line on stderr, headed `who`, naming the file and the system's error.
inline HMODULE load_beside(const void* address, const wchar_t* relative, const char* who)
{
    const std::wstring path = folder_of(address) + relative;
    HMODULE m = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (m == nullptr)
        std::fprintf(stderr, "%s: cannot load %s (error %lu)\n", who, utf8(path).c_str(), ::GetLastError());
    return m;
}

// The function `name` of `module` (null when either is missing).
template <class F>
F* entry(HMODULE module, const char* name)
{
    return module != nullptr ? reinterpret_cast<F*>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

}  // namespace trellin_app::windows_forwarding

#endif
