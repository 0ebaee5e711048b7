// Writing an output file so that it appears whole or not at all.
//
// The bytes go to a temporary file beside the output (same folder, so the
// final rename is atomic), every write is checked, the file is flushed to
// disk with fsync, and only then renamed over the output's name. Any failure
// removes the temporary file and leaves an existing output as it was.
//
// The temporary name ".NAME.tmp-HOST-PID.EXT" says which machine and process
// write it, so that a later run can tell the leftovers of a killed run on
// this machine (their process is gone) from files another run is still
// writing; the extension stays last so that it still names the format.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace trellin_app {

// An output that cannot be written. The message names the output file.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `path` as an absolute name without "." and ".." steps (symbolic links are
// not resolved).
std::string absolute_name(const std::string& path);
// `path` with its folder resolved through symbolic links (and "." and ".."
// steps): the name a file written there lands under. The last step is not
// resolved: an output replaces a link of its name, not what it points to.
std::string resolved_name(const std::string& path);
// Whether two names name one file: the same absolute name, the same name once
// folders are resolved through links, or one existing file reached by both.
// An output is never written over an input.
bool same_file(const std::string& a, const std::string& b);

// The temporary name a write to `path` uses in this process.
std::string temporary_path_for(const std::string& path);

// Removes the temporary files in `folder` that processes of this machine,
// since ended, left while writing an output `ours(output_path)` accepts.
// Temporaries of live processes and of other machines stay. Returns the count
// removed.
int remove_stale_temporaries(const std::string& folder, const std::function<bool(const std::string&)>& ours);
// The same for the one output `path`.
int remove_stale_temporaries(const std::string& path);

// A file on its way to `path`: created under its temporary name, written,
// then committed. Destroyed uncommitted (a failure, an exception), it removes
// the temporary file, and an interrupt, terminate or hang-up signal that ends
// the process meanwhile removes it too (where the program leaves those
// signals to end it). One process writes one output at a time.
class PendingOutput {
public:
    // Creates the temporary file (a leftover of the same name from an ended
    // process is replaced). Throws OutputError when it cannot be created.
    explicit PendingOutput(std::string path);
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    const std::string& path() const { return path_; }
    const std::string& temporary() const { return temporary_; }
    // The temporary file's descriptor, for a writer that writes and seeks it
    // itself (a video muxer); -1 once committed.
    int descriptor() const { return fd_; }

    // Appends `bytes`; throws OutputError on any short or failed write.
    void write(std::string_view bytes);
    // Flushes the file to disk, closes it and renames it over `path` (then
    // flushes the folder). Throws OutputError when any step fails.
    void commit();

private:
    [[noreturn]] void fail(const std::string& what, int err);

    std::string path_;
    std::string temporary_;
    int fd_ = -1;
    int slot_ = -1;  // where a signal handler finds the temporary name
    bool committed_ = false;
};

// Writes `bytes` to `path` through a PendingOutput.
void write_file_whole(const std::string& path, std::string_view bytes);

}  // namespace trellin_app
