#include "host/platform_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <filesystem>
#include <system_error>

#include "host/platform_files.h"

namespace fs = std::filesystem;

namespace platform {

#ifdef _WIN32

namespace {

std::string system_message(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", n);
    if (text != nullptr) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty()) return "error " + std::to_string(code);
    return path_to_utf8(fs::path(message));
}

std::string module_file(HMODULE module)
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return "";
        if (n < name.size()) {
            name.resize(n);
            return path_to_utf8(fs::path(name));
        }
        name.resize(name.size() * 2);
    }
}

}  // namespace

void* open_library(const std::string& path, std::string& error)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path_from_utf8(path), ec);
    const fs::path& file = ec ? path_from_utf8(path) : absolute;
    // Altered search: the DLLs it imports are found beside it first.
    HMODULE module = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) error = system_message(::GetLastError());
    return reinterpret_cast<void*>(module);
}

void* library_symbol(void* library, const char* name, std::string& error)
{
    void* symbol = reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
    if (symbol == nullptr) error = system_message(::GetLastError());
    return symbol;
}

void close_library(void* library)
{
    ::FreeLibrary(static_cast<HMODULE>(library));
}

std::string loaded_file_path(const void* address)
{
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &module))
        return "";
    return module_file(module);
}

std::string executable_path()
{
    return module_file(nullptr);
}

#else

void* open_library(const std::string& path, std::string& error)
{
    ::dlerror();
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* text = ::dlerror();
        error = text != nullptr ? text : "no message from the loader";
    }
    return library;
}

void* library_symbol(void* library, const char* name, std::string& error)
{
    ::dlerror();
    void* symbol = ::dlsym(library, name);
    if (symbol == nullptr) {
        const char* text = ::dlerror();
        error = text != nullptr ? text : "no message from the loader";
    }
    return symbol;
}

void close_library(void* library)
{
    ::dlclose(library);
}

std::string loaded_file_path(const void* address)
{
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return "";
    std::error_code ec;
    fs::path file = fs::weakly_canonical(fs::absolute(info.dli_fname, ec), ec);
    if (ec) file = info.dli_fname;
    return file.string();
}

std::string executable_path()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? "" : self.string();
}

#endif

}  // namespace platform
