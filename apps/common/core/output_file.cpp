#include "apps/common/core/output_file.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "host/platform_files.h"
#include "host/platform_process.h"

namespace fs = std::filesystem;

namespace trellin_app {

namespace {

constexpr std::string_view marker = ".tmp-";

// This machine's name as it goes into a file name.
const std::string& host_tag()
{
    static const std::string tag = [] {
        std::string text = platform::machine_name();
        if (text.empty()) return std::string("host");
        for (char& ch : text) {
            const bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
            if (!plain) ch = '_';
        }
        return text;
    }();
    return tag;
}

std::string temporary_name(const std::string& file_name, const std::string& extension, long pid)
{
    return "." + file_name + std::string(marker) + host_tag() + "-" + std::to_string(pid) + extension;
}

// The output a temporary file name belongs to and the process that wrote it,
// when `name` is a temporary of this machine.
bool parse_temporary(const std::string& name, std::string& output_name, long& pid)
{
    if (name.size() < 2 || name[0] != '.') return false;
    const std::string tag = std::string(marker) + host_tag() + "-";
    const std::size_t at = name.rfind(tag);
    if (at == std::string::npos || at < 2) return false;
    output_name = name.substr(1, at - 1);
    const std::string extension = fs::path(output_name).extension().string();
    const std::size_t digits = at + tag.size();
    if (name.size() < digits + extension.size() ||
        name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
        return false;
    const char* first = name.data() + digits;
    const char* last = name.data() + name.size() - extension.size();
    const auto [end, ec] = std::from_chars(first, last, pid);
    return ec == std::errc() && end == last && first != last && pid > 0;
}

// The temporary files this process is writing, for a signal that ends the
// process to remove them. Slots hold copies of the names, so the handler
// reads no memory that may be freed under it.
constexpr int pending_slots = 8;
constexpr std::size_t pending_name_size = 4096;
char pending_names[pending_slots][pending_name_size];
std::atomic<bool> pending_used[pending_slots];
std::atomic<bool> pending_ready[pending_slots];
#ifdef _WIN32
constexpr int ending_signals[] = {SIGINT, SIGTERM};
#else
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};
#endif

// Removes a file from a signal handler, by its name as the system takes it.
void remove_name(const char* name)
{
#ifdef _WIN32
    std::remove(name);
#else
    ::unlink(name);
#endif
}

extern "C" void remove_pending_and_end(int signal_number)
{
    for (int i = 0; i < pending_slots; ++i)
        if (pending_ready[i].load()) remove_name(pending_names[i]);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// Installs the handler for the signals that end a run (interrupt, terminate,
// hang-up), where the program has left them to end the process.
void install_signal_handlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal_number : ending_signals) {
#ifdef _WIN32
            const auto before = std::signal(signal_number, remove_pending_and_end);
            if (before != SIG_DFL) std::signal(signal_number, before);
#else
            struct sigaction now {};
            if (::sigaction(signal_number, nullptr, &now) != 0 || now.sa_handler != SIG_DFL) continue;
            struct sigaction action {};
            action.sa_handler = remove_pending_and_end;
            sigemptyset(&action.sa_mask);
            ::sigaction(signal_number, &action, nullptr);
#endif
        }
    });
}

// The slot `temporary` is kept in until it is committed or removed; -1 when
// every slot is taken (the file is then removed on failure, not on a signal).
int hold_pending(const std::string& temporary)
{
    install_signal_handlers();
    if (temporary.size() >= pending_name_size) return -1;
    for (int i = 0; i < pending_slots; ++i) {
        bool free = false;
        if (!pending_used[i].compare_exchange_strong(free, true)) continue;
        std::memcpy(pending_names[i], temporary.c_str(), temporary.size() + 1);
        pending_ready[i].store(true);
        return i;
    }
    return -1;
}

void release_pending(int slot)
{
    if (slot < 0) return;
    pending_ready[slot].store(false);
    pending_used[slot].store(false);
}

}  // namespace

std::string absolute_name(const std::string& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return (ec ? fs::path(path) : absolute).lexically_normal().string();
}

std::string resolved_name(const std::string& path)
{
    const fs::path absolute(absolute_name(path));
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(absolute.parent_path(), ec);
    return ec ? absolute.string() : (folder / absolute.filename()).string();
}

bool same_file(const std::string& a, const std::string& b)
{
    if (absolute_name(a) == absolute_name(b) || resolved_name(a) == resolved_name(b)) return true;
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

std::string temporary_path_for(const std::string& path)
{
    const fs::path target(path);
    return (target.parent_path() /
            temporary_name(target.filename().string(), target.extension().string(), platform::process_id()))
        .string();
}

int remove_stale_temporaries(const std::string& folder, const std::function<bool(const std::string&)>& ours)
{
    const fs::path dir = folder.empty() ? fs::path(".") : fs::path(folder);
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    int removed = 0;
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::string output_name;
        long pid = 0;
        if (!parse_temporary(name, output_name, pid) || !platform::process_ended(pid)) continue;
        if (!ours((fs::path(folder) / output_name).string())) continue;
        std::error_code ignored;
        if (fs::remove(it->path(), ignored)) ++removed;
    }
    return removed;
}

int remove_stale_temporaries(const std::string& path)
{
    const fs::path target(path);
    const std::string name = target.filename().string();
    return remove_stale_temporaries(target.parent_path().string(), [&name](const std::string& output) {
        return fs::path(output).filename().string() == name;
    });
}

PendingOutput::PendingOutput(std::string path) : path_(std::move(path)), temporary_(temporary_path_for(path_))
{
    // The name is held for the signal handler (installed on first use)
    // before the file exists: a signal between making the file and holding
    // its name would leave the file behind.
    slot_ = hold_pending(temporary_);
    for (int attempt = 0; attempt < 2 && fd_ < 0; ++attempt) {
        fd_ = platform::create_new_file(temporary_);
        // Our own name taken: an ended process of the same id left it.
        if (fd_ < 0 && errno == EEXIST && attempt == 0) platform::remove_file(temporary_);
    }
    if (fd_ < 0) {
        const int err = errno;
        committed_ = true;  // nothing of ours to remove
        release_pending(slot_);
        slot_ = -1;
        fail("cannot create the temporary file " + fs::path(temporary_).filename().string(), err);
    }
}

PendingOutput::~PendingOutput()
{
    if (fd_ >= 0) platform::close_file(fd_);
    if (!committed_) platform::remove_file(temporary_);
    release_pending(slot_);
}

void PendingOutput::fail(const std::string& what, int err)
{
    throw OutputError(path_ + ": " + what + ": " + std::strerror(err));
}

void PendingOutput::write(std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long n = platform::write_file(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot write", errno);
        }
        if (n == 0) fail("cannot write", ENOSPC);
        done += static_cast<std::size_t>(n);
    }
}

void PendingOutput::commit()
{
    if (!platform::flush_file(fd_)) fail("cannot write (flushing to disk)", errno);
    const int fd = fd_;
    fd_ = -1;
    if (platform::close_file(fd) != 0) fail("cannot write (closing)", errno);
    if (platform::replace_file(temporary_, path_) != 0) fail("cannot write (renaming into place)", errno);
    committed_ = true;
    release_pending(slot_);
    slot_ = -1;
    // The rename itself reaches the disk with the folder. A folder that cannot
    // be flushed (some file systems refuse) leaves the output in place.
    platform::flush_folder(fs::path(path_).parent_path().string());
}

void write_file_whole(const std::string& path, std::string_view bytes)
{
    PendingOutput output(path);
    output.write(bytes);
    output.commit();
}

}  // namespace trellin_app
