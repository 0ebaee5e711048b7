#include "support/slurm_cluster.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testkit {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The full path of `name` from PATH or the system folders, or "".
std::string find_program(const std::string& name)
{
    std::istringstream dirs(std::string(std::getenv("PATH") ? std::getenv("PATH") : "") + ":/usr/sbin:/sbin");
    for (std::string d; std::getline(dirs, d, ':');)
        if (!d.empty() && access((d + "/" + name).c_str(), X_OK) == 0) return d + "/" + name;
    return "";
}

// True when this machine's host name resolves to 127.0.0.1, which the
// loopback-only daemons need; otherwise they run with the name "localhost".
bool host_name_is_loopback()
{
    char name[256] = {};
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_INET;
    if (gethostname(name, sizeof name - 1) != 0 || getaddrinfo(name, nullptr, &hints, &found) != 0) return false;
    bool loopback = false;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next)
        loopback =
            loopback || ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr) == INADDR_LOOPBACK;
    freeaddrinfo(found);
    return loopback;
}

bool port_free(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(std::uint16_t(port));
    const bool ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) close(fd);
    return ok;
}

// 12 consecutive free ports below the ephemeral range, the search starting at
// a place that depends on the process id so that clusters side by side differ.
int free_port_block()
{
    for (int i = 0; i < 1200; ++i) {
        const int base = 20000 + int((getpid() + i * 7) % 1200) * 10;
        bool all = true;
        for (int p = base; p < base + 12 && all; ++p) all = port_free(p);
        if (all) return base;
    }
    throw std::runtime_error("no block of free loopback ports between 20000 and 32000");
}

}  // namespace

std::string SlurmCluster::missing_programs()
{
    std::string missing;
    for (const char* p : {"mungekey", "munged", "slurmctld", "slurmd", "sinfo", "sbatch", "scontrol", "scancel"})
        if (find_program(p).empty()) missing += std::string(" ") + p;
    return missing;
}

SlurmCluster::SlurmCluster(double deadline_s)
{
    try {
        start(deadline_s);
    } catch (...) {
        stop();
        throw;
    }
}

SlurmCluster::~SlurmCluster()
{
    stop();
}

ProgramResult SlurmCluster::client(std::vector<std::string> argv, double timeout_s) const
{
    argv[0] = find_program(argv[0]);
    RunOptions o;
    o.env = env();
    o.timeout_s = timeout_s;
    return run_program(argv, o);
}

std::string SlurmCluster::log_tails() const
{
    std::string text;
    for (const char* name : {"munged.log", "slurmctld.log", "slurmd.log"}) {
        std::ifstream in(fs::path(dir_) / "log" / name);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back("    " + l + "\n");
        text += std::string("  ") + name + ":\n";
        for (std::size_t i = lines.size() > 8 ? lines.size() - 8 : 0; i < lines.size(); ++i) text += lines[i];
    }
    return text;
}

void SlurmCluster::start(double deadline_s)
{
    const auto deadline = Clock::now() + std::chrono::duration<double>(deadline_s);
    if (!missing_programs().empty()) throw std::runtime_error("not installed:" + missing_programs());
    // Short path under /tmp: the munge socket's path must stay under 108 bytes,
    // and munged wants every folder on it searchable by all.
    char tmpl[] = "/tmp/trellin-slurm.XXXXXX";
    if (mkdtemp(tmpl) == nullptr) throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    dir_ = tmpl;
    chmod(dir_.c_str(), 0755);
    for (const char* sub : {"munge", "state", "spool", "log"}) fs::create_directory(fs::path(dir_) / sub);
    chmod((dir_ + "/munge").c_str(), 0755);
    const std::string log = dir_ + "/log/", key = dir_ + "/munge/munge.key", socket = dir_ + "/munge/munge.socket";
    // Daemons in a UTS namespace of their own, named localhost, when the
    // host name does not resolve to loopback; the shell execs the daemon.
    const std::vector<std::string> wrap =
        host_name_is_loopback()
            ? std::vector<std::string>{}
            : std::vector<std::string>{
                  find_program("unshare"), "--uts", "--", "/bin/sh", "-c", "hostname localhost && exec \"$0\" \"$@\""};
    auto daemon = [&](std::vector<std::string> argv) {
        argv[0] = find_program(argv[0]);
        argv.insert(argv.begin(), wrap.begin(), wrap.end());
        daemons_.emplace_back(argv, RunOptions{}, log + fs::path(argv[wrap.size()]).filename().string() + ".out");
    };

    if (run_program({find_program("mungekey"), "--create", "--keyfile=" + key}).code != 0)
        throw std::runtime_error("mungekey failed");
    chmod(key.c_str(), 0600);
    daemon({"munged", "--foreground", "--socket=" + socket, "--key-file=" + key, "--log-file=" + log + "munged.log",
            "--pid-file=" + dir_ + "/munge/munged.pid", "--seed-file=" + dir_ + "/munge/munged.seed"});
    while (!fs::exists(socket)) {
        if (!daemons_.back().running() || Clock::now() > deadline)
            throw std::runtime_error("munged did not start:\n" + log_tails());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    const int ports = free_port_block();
    const passwd* pw = getpwuid(geteuid());
    const std::string user = pw ? pw->pw_name : "root";
    std::ofstream(dir_ + "/slurm.conf")
        << "ClusterName=trellintest\nSlurmctldHost=localhost(127.0.0.1)\n"
        << "SlurmctldPort=" << ports << "\nSlurmdPort=" << ports + 1 << "\n"
        << "SrunPortRange=" << ports + 2 << "-" << ports + 11 << "\n"
        << "CommunicationParameters=NoInAddrAny,NoCtldInAddrAny\n"
        << "AuthType=auth/munge\nCredType=cred/munge\nAuthInfo=socket=" << socket << "\n"
        << "SlurmUser=" << user << "\nSlurmdUser=" << user << "\n"
        << "StateSaveLocation=" << dir_ << "/state\nSlurmdSpoolDir=" << dir_ << "/spool\n"
        << "SlurmctldPidFile=" << dir_ << "/slurmctld.pid\nSlurmdPidFile=" << dir_ << "/slurmd.pid\n"
        << "SlurmctldLogFile=" << log << "slurmctld.log\nSlurmdLogFile=" << log << "slurmd.log\n"
        << "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
        << "AccountingStorageType=accounting_storage/none\nJobAcctGatherType=jobacct_gather/none\n"
        << "JobCompType=jobcomp/none\nMpiDefault=none\n"
        << "SelectType=select/cons_tres\nSelectTypeParameters=CR_Core\n"
        << "ReturnToService=2\nMailProg=/bin/true\nSchedulerParameters=batch_sched_delay=0\n"
        << "NodeName=localhost NodeAddr=127.0.0.1 CPUs=" << std::max(1L, sysconf(_SC_NPROCESSORS_ONLN))
        << " State=UNKNOWN\nPartitionName=trellin Nodes=localhost Default=YES MaxTime=INFINITE State=UP\n";
    daemon({"slurmctld", "-D", "-i", "-f", dir_ + "/slurm.conf"});
    daemon({"slurmd", "-D", "-N", "localhost", "-f", dir_ + "/slurm.conf"});

    for (;;) {
        for (Process& d : daemons_)
            if (!d.running()) throw std::runtime_error("a Slurm daemon stopped while starting:\n" + log_tails());
        const ProgramResult r = client({"sinfo", "-h", "-o", "%T"}, 5);
        if (r.code == 0 && r.out == "idle\n") return;
        if (Clock::now() > deadline)
            throw std::runtime_error("the node is not idle (sinfo: " + r.out + r.err + "):\n" + log_tails());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void SlurmCluster::stop()
{
    if (daemons_.size() == 3) {
        const passwd* pw = getpwuid(geteuid());
        if (pw) client({"scancel", std::string("--user=") + pw->pw_name}, 5);
    }
    // Last started, first ended: slurmd, slurmctld, then munged.
    while (!daemons_.empty()) daemons_.pop_back();
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
}

}  // namespace testkit
