// The scripts that start the tests' throwaway servers (PostgreSQL, the
// connection pooler, MariaDB) start on a machine whose loopback ports are
// taken: by client connections, which hold every port of the kernel's range
// for outgoing connections, and by a socket that takes the port a script
// chose before its server listens there. Each case runs in a network
// namespace of its own, so that the ports it holds take nothing from the
// tests that run beside it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "kvdataaccess/kvdataaccess.h"
#include "support/script_lines.h"

namespace {

// The calling thread in a network namespace of its own, with its loopback
// up, until the object goes; the namespace's settings start at the
// kernel's defaults. Children that the thread starts share it. The
// servers that the scripts start there have their folders, which keep
// their ports, in a folder of the namespace's own: a port kept in another
// namespace is no port of this one. Open to all as /tmp is: it is the
// servers' TMPDIR too.
class OwnNetwork {
 public:
  OwnNetwork() {
    char folder[] = "/tmp/kvnet.XXXXXX";
    if (!::mkdtemp(folder) || ::chmod(folder, 01777) != 0) {
      error_ = std::string("no folder for the servers: ") +
               std::strerror(errno);
      return;
    }
    folders_ = folder;
    home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (home_ < 0 || ::unshare(CLONE_NEWNET) != 0) {
      error_ = std::string("no network namespace of the test's own: ") +
               std::strerror(errno);
      return;
    }
    entered_ = true;
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq loopback{};
    std::strcpy(loopback.ifr_name, "lo");
    loopback.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
    if (s < 0 || ::ioctl(s, SIOCSIFFLAGS, &loopback) != 0)
      error_ = std::string("the loopback would not come up: ") +
               std::strerror(errno);
    if (s >= 0) ::close(s);
  }
  ~OwnNetwork() {
    if (entered_) ::setns(home_, CLONE_NEWNET);
    if (home_ >= 0) ::close(home_);
    if (!folders_.empty()) std::filesystem::remove_all(folders_);
  }
  OwnNetwork(const OwnNetwork&) = delete;
  OwnNetwork& operator=(const OwnNetwork&) = delete;

  // Empty once the namespace is there.
  const std::string& error() const { return error_; }
  // The folder for the folders of the servers started here.
  const std::string& serverFolders() const { return folders_; }

  // Writes the namespace's own kernel setting `name` ("net/core/somaxconn").
  static bool set(const std::string& name, const std::string& value) {
    std::ofstream file("/proc/sys/" + name);
    file << value;
    file.close();
    return !file.fail();
  }

 private:
  int home_ = -1;
  bool entered_ = false;
  std::string error_, folders_;
};

// Skips the case where no namespace can be made (a user without the right
// to), but not in CI, whose run has a pooler of its own and runs as root.
#define ENTER_OWN_NETWORK(network)                                      \
  OwnNetwork network;                                                   \
  if (!network.error().empty()) {                                       \
    if (std::getenv("KV_TEST_PGBOUNCER_CONNECTION"))                    \
      FAIL() << network.error();                                        \
    GTEST_SKIP() << network.error();                                    \
  }

sockaddr_in loopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Client connections that hold every port that the kernel hands out to
// outgoing connections: children that each connect to one listener of the
// holder's own until the kernel has no local port left for it, or until
// the child's share of open files is used, and that keep their sockets
// until the holder goes. The listener never accepts: the connections wait
// in its queue, which the namespace's somaxconn must leave room for.
class ClientPortHolders {
 public:
  ClientPortHolders() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopbackAddress(0);
    socklen_t size = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 65535) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address),
                      &size) != 0 ||
        ::pipe2(release_, O_CLOEXEC) != 0)
      return;
    // A child holds ports until the kernel answers EADDRNOTAVAIL.
    while (!full_ && children_.size() < 64) {
      Report report{};
      if (!holdInChild(address, report)) return;
      held_ += report.held;
      full_ = report.error == EADDRNOTAVAIL;
      if (report.error != 0 && !full_) return;
    }
  }
  ~ClientPortHolders() {
    if (release_[1] >= 0) ::close(release_[1]);
    for (const pid_t child : children_) ::waitpid(child, nullptr, 0);
    if (release_[0] >= 0) ::close(release_[0]);
    if (listener_ >= 0) ::close(listener_);
  }
  ClientPortHolders(const ClientPortHolders&) = delete;
  ClientPortHolders& operator=(const ClientPortHolders&) = delete;

  // Whether every port of the kernel's range is held, and how many are.
  bool full() const { return full_; }
  int held() const { return held_; }

 private:
  struct Report {
    int held;
    int error;  // errno of the connect that ended the child's share, or 0
  };

  bool holdInChild(const sockaddr_in& listener, Report& report) {
    int answer[2];
    if (::pipe2(answer, O_CLOEXEC) != 0) return false;
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(answer[0]);
      ::close(release_[1]);
      rlimit files{};
      ::getrlimit(RLIMIT_NOFILE, &files);
      files.rlim_cur = files.rlim_max;
      ::setrlimit(RLIMIT_NOFILE, &files);
      Report mine{0, 0};
      const rlim_t share = files.rlim_cur > 64 ? files.rlim_cur - 64 : 0;
      while (static_cast<rlim_t>(mine.held) < share) {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        if (s < 0 || ::connect(s, reinterpret_cast<const sockaddr*>(&listener),
                               sizeof listener) != 0) {
          mine.error = errno;
          break;
        }
        ++mine.held;
      }
      ssize_t written = ::write(answer[1], &mine, sizeof mine);
      char byte;
      while (written >= 0 && ::read(release_[0], &byte, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(answer[1]);
    const bool answered =
        child > 0 && ::read(answer[0], &report, sizeof report) ==
                         static_cast<ssize_t>(sizeof report);
    ::close(answer[0]);
    if (child > 0) children_.push_back(child);
    return answered;
  }

  int listener_ = -1;
  int release_[2] = {-1, -1};
  std::vector<pid_t> children_;
  int held_ = 0;
  bool full_ = false;
};

// Sockets bound to `ports` without listening: the ports are taken, yet no
// look at the system's sockets shows them, as a port that another server
// takes after a script chose it.
class TakenPorts {
 public:
  explicit TakenPorts(const std::vector<int>& ports) {
    for (const int port : ports) {
      const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      const sockaddr_in address = loopbackAddress(port);
      if (s >= 0 && ::bind(s, reinterpret_cast<const sockaddr*>(&address),
                           sizeof address) == 0)
        sockets_.push_back(s);
      else if (s >= 0)
        ::close(s);
    }
  }
  ~TakenPorts() {
    for (const int s : sockets_) ::close(s);
  }
  TakenPorts(const TakenPorts&) = delete;
  TakenPorts& operator=(const TakenPorts&) = delete;

  size_t count() const { return sockets_.size(); }

 private:
  std::vector<int> sockets_;
};

// A server started in `network` by one of the project's start scripts and
// stopped by its stop script; connection() is empty when the start failed.
class ScriptServer {
 public:
  ScriptServer(const OwnNetwork& network, const std::string& kind,
               const std::string& arguments = "")
      : kind_(kind) {
    const std::vector<std::string> lines = scriptLines(
        "TMPDIR=" + shellQuoted(network.serverFolders()) +
            " bash " KV_SOURCE_DIR "/scripts/start-test-" + kind + ".sh " +
            arguments + " 2>/dev/null",
        2);
    if (lines.empty()) return;
    folder_ = lines[0];
    connection_ = lines[1];
  }
  ~ScriptServer() {
    if (!folder_.empty())
      std::system(("bash " KV_SOURCE_DIR "/scripts/stop-test-" + kind_ +
                   ".sh " + shellQuoted(folder_))
                      .c_str());
  }
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  const std::string& connection() const { return connection_; }
  const std::string& folder() const { return folder_; }

  // The port of the connection string, or 0.
  int port() const {
    std::smatch match;
    return std::regex_search(connection_, match,
                             std::regex("(^|;)Port=([0-9]+)"))
               ? std::atoi(match[2].str().c_str())
               : 0;
  }

 private:
  std::string kind_, folder_, connection_;
};

// "" when a client of `connection` gets SELECT 1 answered, else why not.
std::string selectOneFails(const std::string& connection) {
  KvbString error;
  DacConnection* c = dacCreateDataSource(connection.c_str(), &error);
  if (!c) return "cannot connect: " + error.str();
  const bool ran = c->execute("SELECT 1");
  const std::string text = ran ? "" : c->getErrorMessage().str();
  c->release();
  return ran ? "" : "SELECT 1 failed: " + text;
}

// Whether something takes connections on the loopback `port`.
bool listensOn(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = loopbackAddress(port);
  const bool connected =
      s >= 0 && ::connect(s, reinterpret_cast<const sockaddr*>(&address),
                          sizeof address) == 0;
  if (s >= 0) ::close(s);
  return connected;
}

// The pooler starts eight times over: a start on a port that a client holds
// fails at once, so that a script that picked among them would not pass.
constexpr int kPoolerStarts = 8;

TEST(TestServerScriptsTest, StartWhileClientsHoldEveryPortForOutgoingUse) {
  ENTER_OWN_NETWORK(network);
  ASSERT_TRUE(OwnNetwork::set("net/core/somaxconn", "65535"));
  ClientPortHolders clients;
  ASSERT_TRUE(clients.full()) << "only " << clients.held() << " ports held";

  ScriptServer postgres(network, "postgres");
  ASSERT_FALSE(postgres.connection().empty());
  EXPECT_EQ(selectOneFails(postgres.connection()), "");
  for (int start = 1; start <= kPoolerStarts; ++start) {
    ScriptServer pooler(network, "pgbouncer",
                        shellQuoted(postgres.connection()));
    ASSERT_FALSE(pooler.connection().empty()) << "start " << start;
    EXPECT_EQ(selectOneFails(pooler.connection()), "") << "start " << start;
  }
  ScriptServer mariadb(network, "mariadb");
  ASSERT_FALSE(mariadb.connection().empty());
  EXPECT_EQ(selectOneFails(mariadb.connection()), "");
}

// What a case starts, and how many times over.
struct TakenPortCase {
  const char* kind;
  const char* arguments;
  int starts;
};

// The kernel's range for outgoing connections leaves four ports to listen
// on, three of them taken unseen: a start finds the free one only by
// trying again where its server could not listen. Each script runs in a
// namespace of its own, so that no port of another's stays held.
TEST(TestServerScriptsTest, StartOnAnotherPortWhereTheChosenOneIsTaken) {
  constexpr int kFree = 65535;
  const TakenPortCase cases[] = {
      {"postgres", "", 1},
      {"pgbouncer", "'Server=127.0.0.1;Port=1;Uid=postgres;'", 6},
      {"mariadb", "", 1},
  };
  for (const TakenPortCase& c : cases) {
    SCOPED_TRACE(c.kind);
    ENTER_OWN_NETWORK(network);
    ASSERT_TRUE(OwnNetwork::set("net/ipv4/ip_local_port_range",
                                "10000 " + std::to_string(kFree - 4)));
    TakenPorts taken({kFree - 3, kFree - 2, kFree - 1});
    ASSERT_EQ(taken.count(), 3u);
    for (int start = 1; start <= c.starts; ++start) {
      ScriptServer server(network, c.kind, c.arguments);
      EXPECT_EQ(server.port(), kFree) << "start " << start;
      EXPECT_TRUE(listensOn(kFree)) << "start " << start;
    }
  }
}

// A server stopped to be started again keeps its port while its folder
// stays: with one port left to listen on, and a pooler stopped on it, the
// next start finds no port rather than taking that one.
TEST(TestServerScriptsTest, AStoppedServerKeepsItsPortForItsRestart) {
  constexpr int kOnly = 65535;
  ENTER_OWN_NETWORK(network);
  ASSERT_TRUE(OwnNetwork::set("net/ipv4/ip_local_port_range",
                              "10000 " + std::to_string(kOnly - 1)));
  const char kServer[] = "'Server=127.0.0.1;Port=1;Uid=postgres;'";
  ScriptServer stopped(network, "pgbouncer", kServer);
  ASSERT_EQ(stopped.port(), kOnly);
  ASSERT_EQ(std::system(("pid=$(cat " + shellQuoted(stopped.folder()) +
                         "/pgbouncer.pid) && kill $pid && "
                         "while kill -0 $pid 2>/dev/null; do sleep 0.1; done")
                            .c_str()),
            0);
  ASSERT_FALSE(listensOn(kOnly));
  ScriptServer next(network, "pgbouncer", kServer);
  EXPECT_EQ(next.connection(), "");
}

}  // namespace
