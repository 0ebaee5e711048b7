// Settings files: reading with precise fault positions, and writing that
// never leaves a half-written file in place of a good one.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "host/regv.h"

using nlohmann::json;

namespace {

std::string system_fault(int err) { return std::strerror(err); }

// Line and column (both from 1) of the character at byte `index` of `text`;
// the column counts UTF-8 characters, not bytes.
void line_and_column(const std::string& text, std::size_t index, std::size_t& line, std::size_t& column)
{
    if (index > text.size()) index = text.size();
    line = 1;
    column = 1;
    for (std::size_t i = 0; i < index; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            ++line;
            column = 1;
        } else if ((byte & 0xC0) != 0x80) {
            ++column;
        }
    }
}

// The parser's own description of a fault, without its position prefix.
std::string parse_fault_text(const json::parse_error& e)
{
    std::string what = e.what();
    std::size_t at = what.find("parse error");
    if (at != std::string::npos) {
        std::size_t colon = what.find(": ", at);
        if (colon != std::string::npos) return what.substr(colon + 2);
    }
    return what;
}

bool write_all(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

RegV RegV::read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RegVError(path + ": cannot read: " + system_fault(errno));
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) throw RegVError(path + ": cannot read: " + system_fault(errno));
    const std::string text = buffer.str();

    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::parse_error& e) {
        // The parser counts the offending character as read.
        std::size_t line = 0;
        std::size_t column = 0;
        line_and_column(text, e.byte > 0 ? e.byte - 1 : 0, line, column);
        throw RegVError(path + ": line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                        parse_fault_text(e));
    }

    if (!doc.is_object()) throw RegVError(path + ": not a settings document (the top level is not an object)");
    auto controls = doc.find("controls");
    if (controls == doc.end()) throw RegVError(path + ": not a settings document (no \"controls\" member)");
    if (!controls->is_object())
        throw RegVError(path + ": not a settings document (\"controls\" is not an object)");
    return RegV(std::move(doc));
}

void RegV::write_file(const std::string& path) const
{
    static std::atomic<unsigned> serial{0};
    const std::string text = doc.dump(2) + "\n";

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(serial.fetch_add(1));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw RegVError(path + ": cannot write: " + system_fault(errno));

    bool ok = write_all(fd, text) && ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        throw RegVError(path + ": cannot write: " + system_fault(err));
    }
}
