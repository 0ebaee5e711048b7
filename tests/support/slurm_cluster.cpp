#include "support/slurm_cluster.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testkit {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Daemons alive in this process, for the exit guard. Plain atomics in a fixed
// table: the guard may run while a cluster is half built.
constexpr int max_guarded = 32;
std::atomic<pid_t> guarded[max_guarded];

void guard(pid_t pid)
{
    for (auto& slot : guarded) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid)) return;
    }
}

void unguard(pid_t pid)
{
    for (auto& slot : guarded) {
        pid_t expected = pid;
        if (slot.compare_exchange_strong(expected, 0)) return;
    }
}

// At exit (std::exit after a fatal test error, say) any daemon still
// registered gets SIGTERM. A process that dies without running exit handlers
// is covered by each daemon's parent-death signal.
void end_guarded_daemons()
{
    for (auto& slot : guarded) {
        const pid_t pid = slot.exchange(0);
        if (pid > 0) kill(pid, SIGTERM);
    }
}

void install_exit_guard()
{
    static const bool installed = [] { return std::atexit(end_guarded_daemons) == 0; }();
    (void)installed;
}

const char* const sbin_dirs[] = {"/usr/sbin", "/sbin", "/usr/bin", "/bin"};

// The full path of `name` from PATH or the system folders, or "".
std::string find_program(const std::string& name)
{
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    for (const char* d : sbin_dirs) path += std::string(":") + d;
    std::istringstream dirs(path);
    for (std::string d; std::getline(dirs, d, ':');) {
        if (d.empty()) continue;
        const std::string candidate = d + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

std::string required(const std::string& name)
{
    std::string path = find_program(name);
    if (path.empty()) throw std::runtime_error(name + " is not installed (tools/install-deps.sh installs it)");
    return path;
}

std::string user_name()
{
    if (const passwd* pw = getpwuid(geteuid())) return pw->pw_name;
    throw std::runtime_error("no user name for uid " + std::to_string(geteuid()));
}

// True when this machine's host name resolves to 127.0.0.1, which the
// loopback-only daemons need; otherwise they run with the name "localhost".
bool host_name_is_loopback()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0) return false;
    bool loopback = false;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        if (ntohl(in->sin_addr.s_addr) == INADDR_LOOPBACK) loopback = true;
    }
    freeaddrinfo(found);
    return loopback;
}

bool port_free(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(std::uint16_t(port));
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// `count` consecutive free ports below the kernel's ephemeral range, starting
// at a place that depends on the process id so that clusters of tests run side
// by side pick different ones.
int free_port_block(int count)
{
    const int first = 20000, blocks = 1200;
    const int start = int(getpid() % blocks);
    for (int i = 0; i < blocks; ++i) {
        const int base = first + ((start + i * 7) % blocks) * 10;
        bool all = true;
        for (int p = base; p < base + count && all; ++p) all = port_free(p);
        if (all) return base;
    }
    throw std::runtime_error("no block of free loopback ports between 20000 and 32000");
}

std::string tail(const fs::path& path, int lines)
{
    std::ifstream in(path);
    std::vector<std::string> kept;
    for (std::string line; std::getline(in, line);) {
        kept.push_back(line);
        if (int(kept.size()) > lines) kept.erase(kept.begin());
    }
    std::string text;
    for (const std::string& l : kept) text += "    " + l + "\n";
    return text;
}

std::string trim(std::string s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    std::size_t b = 0;
    while (b < s.size() && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    return s.substr(b);
}

bool alive(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
}

}  // namespace

std::string SlurmCluster::missing_programs()
{
    std::string missing;
    for (const char* p : {"mungekey", "munged", "slurmctld", "slurmd", "sinfo", "sbatch", "squeue", "scancel"})
        if (find_program(p).empty()) missing += std::string(missing.empty() ? "" : " ") + p;
    return missing;
}

SlurmCluster::SlurmCluster(double deadline_s)
{
    install_exit_guard();
    try {
        start(deadline_s);
    } catch (...) {
        stop();
        throw;
    }
}

SlurmCluster::~SlurmCluster() { stop(); }

std::vector<std::string> SlurmCluster::env() const { return {"SLURM_CONF=" + conf_path()}; }

ProgramResult SlurmCluster::client(std::vector<std::string> argv, double timeout_s) const
{
    if (!argv.empty()) {
        const std::string path = find_program(argv[0]);
        if (!path.empty()) argv[0] = path;
    }
    return run_program(argv, timeout_s, env());
}

std::string SlurmCluster::log_tails() const
{
    std::string text;
    if (dir_.empty()) return text;
    for (const char* name : {"munged.log", "munged.out", "slurmctld.log", "slurmctld.out", "slurmd.log", "slurmd.out"}) {
        const fs::path p = fs::path(dir_) / "log" / name;
        if (fs::exists(p)) text += "  " + p.string() + ":\n" + tail(p, 8);
    }
    return text;
}

pid_t SlurmCluster::spawn_daemon(const std::vector<std::string>& argv_in, const std::string& log_name)
{
    std::vector<std::string> args;
    if (wrap_hostname_) {
        // A UTS namespace of its own with the host name localhost; the shell
        // execs the daemon, which keeps the process id.
        args = {required("unshare"), "--uts", "--", "/bin/sh", "-c", "hostname localhost && exec \"$0\" \"$@\""};
    }
    args.insert(args.end(), argv_in.begin(), argv_in.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string log = dir_ + "/log/" + log_name;
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid == 0) {
        // Ended with SIGTERM when this process dies, however it dies.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
        if (in < 0 || out < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    guard(pid);
    daemons_.push_back(pid);
    return pid;
}

void SlurmCluster::start(double deadline_s)
{
    const auto deadline = Clock::now() + std::chrono::duration<double>(deadline_s);
    const std::string missing = missing_programs();
    if (!missing.empty()) throw std::runtime_error("not installed: " + missing);

    // Short path under /tmp: the munge socket's path must stay under 108 bytes.
    char tmpl[] = "/tmp/trellin-slurm.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    dir_ = tmpl;
    // munged wants every folder on its socket's path searchable by all.
    chmod(dir_.c_str(), 0755);
    for (const char* sub : {"munge", "state", "spool", "log"}) fs::create_directory(fs::path(dir_) / sub);
    chmod((dir_ + "/munge").c_str(), 0755);
    wrap_hostname_ = !host_name_is_loopback();

    const std::string key = dir_ + "/munge/munge.key", socket = dir_ + "/munge/munge.socket";
    const ProgramResult made = run_program({required("mungekey"), "--create", "--keyfile=" + key}, 10);
    if (made.code != 0) throw std::runtime_error("mungekey failed: " + made.err);
    chmod(key.c_str(), 0600);
    spawn_daemon({required("munged"), "--foreground", "--socket=" + socket, "--key-file=" + key,
                  "--log-file=" + dir_ + "/log/munged.log", "--pid-file=" + dir_ + "/munge/munged.pid",
                  "--seed-file=" + dir_ + "/munge/munged.seed"},
                 "munged.out");
    while (!fs::exists(socket)) {
        if (!alive(daemons_.back()) || Clock::now() > deadline)
            throw std::runtime_error("munged did not start:\n" + log_tails());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    const int ports = free_port_block(12);
    const std::string user = user_name();
    const long cpus = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
    std::ofstream conf(conf_path());
    conf << "# One node on loopback, for tests: no accounting, no cgroups.\n"
         << "ClusterName=trellintest\n"
         << "SlurmctldHost=localhost(127.0.0.1)\n"
         << "SlurmctldPort=" << ports << "\n"
         << "SlurmdPort=" << ports + 1 << "\n"
         << "SrunPortRange=" << ports + 2 << "-" << ports + 11 << "\n"
         << "CommunicationParameters=NoInAddrAny,NoCtldInAddrAny\n"
         << "AuthType=auth/munge\nCredType=cred/munge\n"
         << "AuthInfo=socket=" << socket << "\n"
         << "SlurmUser=" << user << "\nSlurmdUser=" << user << "\n"
         << "StateSaveLocation=" << dir_ << "/state\n"
         << "SlurmdSpoolDir=" << dir_ << "/spool\n"
         << "SlurmctldPidFile=" << dir_ << "/slurmctld.pid\n"
         << "SlurmdPidFile=" << dir_ << "/slurmd.pid\n"
         << "SlurmctldLogFile=" << dir_ << "/log/slurmctld.log\n"
         << "SlurmdLogFile=" << dir_ << "/log/slurmd.log\n"
         << "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
         << "AccountingStorageType=accounting_storage/none\nJobAcctGatherType=jobacct_gather/none\n"
         << "JobCompType=jobcomp/none\nMpiDefault=none\n"
         << "SelectType=select/cons_tres\nSelectTypeParameters=CR_Core\n"
         << "ReturnToService=2\nMailProg=/bin/true\n"
         << "SchedulerParameters=batch_sched_delay=0\n"
         << "NodeName=localhost NodeAddr=127.0.0.1 CPUs=" << cpus << " State=UNKNOWN\n"
         << "PartitionName=" << partition << " Nodes=localhost Default=YES MaxTime=INFINITE State=UP\n";
    conf.close();
    if (!conf) throw std::runtime_error("cannot write " + conf_path());

    spawn_daemon({required("slurmctld"), "-D", "-i", "-f", conf_path()}, "slurmctld.out");
    spawn_daemon({required("slurmd"), "-D", "-N", "localhost", "-f", conf_path()}, "slurmd.out");

    std::string state;
    while (true) {
        for (pid_t pid : daemons_)
            if (!alive(pid)) throw std::runtime_error("a Slurm daemon stopped while starting:\n" + log_tails());
        const ProgramResult r = client({"sinfo", "-h", "-o", "%T"}, 5);
        state = trim(r.out);
        if (r.code == 0 && state == "idle") return;
        if (Clock::now() > deadline)
            throw std::runtime_error("the node is not idle after " + std::to_string(deadline_s) + " s (sinfo: " +
                                     state + trim(r.err) + "):\n" + log_tails());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void SlurmCluster::end_daemons()
{
    // Last started, first ended: slurmd, slurmctld, then munged.
    for (auto it = daemons_.rbegin(); it != daemons_.rend(); ++it) {
        const pid_t pid = *it;
        kill(pid, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        unguard(pid);
    }
    daemons_.clear();
}

void SlurmCluster::stop()
{
    if (daemons_.size() == 3 && std::all_of(daemons_.begin(), daemons_.end(), alive))
        client({"scancel", "--user=" + user_name()}, 5);
    end_daemons();
    if (!dir_.empty()) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        dir_.clear();
    }
}

}  // namespace testkit
