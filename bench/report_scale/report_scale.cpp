// report_scale: how quorvane-report keeps up with an instance of thousands of databases, next to
// a client that only reads. For each size the simulator is started with --scale, the report is
// written, and the batches it sent are replayed by a fetch-only ODBC client (every column of
// every row of every result read as wide text, nothing rendered). Each run is a child process
// (the simulator too), so wall time, CPU and peak RSS are its own, from wait4().
//
//   report_scale [--runs N] [--sizes 100,1000,5000,rows] [--report PATH] [--sim PATH]
//   report_scale --fetch BATCH_LOG --port N     (the fetch-only client; used by the above)
#include <fcntl.h>
#include <signal.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sqlserver_sim/text.h"

namespace {

// ---- the fetch-only client ------------------------------------------------------------------

std::vector<std::string> ReadBatches(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  // The simulator's log: each batch followed by a line "GO".
  std::vector<std::string> batches;
  std::size_t start = 0;
  while (start < all.size()) {
    const std::size_t go = all.find("\nGO\n", start);
    if (go == std::string::npos) break;
    batches.push_back(all.substr(start, go - start));
    start = go + 4;
  }
  return batches;
}

// Reads one column as wide text, in pieces. FreeTDS keeps answering 01004 with an indicator of
// 2 for a sql_variant holding an integer and never SQL_NO_DATA, so the loop ends when the
// indicator says the value fitted, or once as many bytes as announced have been read.
std::size_t ReadColumn(SQLHSTMT stmt, SQLUSMALLINT column) {
  SQLWCHAR buffer[2048];
  std::size_t total = 0;
  SQLLEN announced = SQL_NO_TOTAL;
  for (int piece = 0;; ++piece) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA || rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) break;
    if (indicator == SQL_NULL_DATA) break;
    if (rc == SQL_SUCCESS) {
      total += static_cast<std::size_t>(indicator);
      break;
    }
    // SQL_SUCCESS_WITH_INFO: truncated, unless the value fitted after all.
    const auto room = static_cast<SQLLEN>(sizeof buffer - sizeof(SQLWCHAR));
    if (indicator != SQL_NO_TOTAL && indicator <= room) {
      total += static_cast<std::size_t>(indicator);
      break;
    }
    total += static_cast<std::size_t>(room);
    if (piece == 0) announced = indicator;
    if (announced != SQL_NO_TOTAL && total >= static_cast<std::size_t>(announced)) break;
    if (piece > 1'000'000) break;  // no value is that long
  }
  return total;
}

int Fetch(const std::string& batchLog, int port) {
  const std::vector<std::string> batches = ReadBatches(batchLog);
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  const char* driver = std::getenv("QUORVANE_BENCH_DRIVER");
  const std::string connect = std::string("Driver=") + (driver ? driver : "FreeTDS") +
                              ";Server=127.0.0.1;Port=" + std::to_string(port) +
                              ";TDS_Version=7.4;UID=sa;PWD=secret;Database=master;"
                              "ClientCharset=UTF-8;Encryption=off";
  SQLRETURN rc =
      SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connect.c_str())),
                       SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    std::cerr << "report_scale --fetch: cannot connect on port " << port << "\n";
    return 3;
  }
  std::size_t results = 0;
  std::size_t rows = 0;
  std::size_t bytes = 0;
  for (const std::string& batch : batches) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    std::u16string text = sqlsim::Utf8ToUtf16(batch);
    rc = SQLExecDirectW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()),
                        static_cast<SQLINTEGER>(text.size()));
    // An error ends one result, not the batch: the rest is read as the report reads it.
    for (int errors = 0; rc != SQL_NO_DATA && errors < 100000; rc = SQLMoreResults(stmt)) {
      if (rc == SQL_ERROR) {
        ++errors;
        continue;
      }
      if (!SQL_SUCCEEDED(rc)) break;
      SQLSMALLINT columns = 0;
      SQLNumResultCols(stmt, &columns);
      if (columns == 0) continue;
      ++results;
      while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        ++rows;
        for (SQLUSMALLINT c = 1; c <= columns; ++c) bytes += ReadColumn(stmt, c);
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  std::cerr << "fetched " << batches.size() << " batches, " << results << " results, " << rows
            << " rows, " << bytes << " bytes of text\n";
  return 0;
}

// ---- running children -----------------------------------------------------------------------

struct Usage {
  double wall = 0;  // seconds
  double cpu = 0;   // user + system seconds
  long rssKb = 0;   // peak resident set
  int status = 0;
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

Usage Reap(pid_t pid, std::chrono::steady_clock::time_point started) {
  Usage u;
  int status = 0;
  rusage r{};
  while (wait4(pid, &status, 0, &r) < 0 && errno == EINTR) {
  }
  u.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  u.cpu = Seconds(r.ru_utime) + Seconds(r.ru_stime);
  u.rssKb = r.ru_maxrss;
  u.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return u;
}

// Starts `argv` with standard output to `out` (a pipe end or -1: /dev/null) and standard error
// to `errPath`.
pid_t Spawn(const std::vector<std::string>& argv, int out, const std::string& errPath,
            const std::vector<std::string>& env = {}) {
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid > 0) return pid;
  const int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  dup2(out >= 0 ? out : null, 1);
  const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  dup2(err >= 0 ? err : null, 2);
  for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

struct Simulator {
  pid_t pid = -1;
  int port = 0;
  std::chrono::steady_clock::time_point started;
};

Simulator StartSimulator(const std::string& sim, const std::string& scale, const std::string& log,
                         const std::string& errPath) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  Simulator s;
  s.started = std::chrono::steady_clock::now();
  std::vector<std::string> argv = {sim, "--demo", "--port", "0"};
  if (!scale.empty()) argv.insert(argv.end(), {"--scale", scale});
  if (!log.empty()) argv.insert(argv.end(), {"--log", log});
  s.pid = Spawn(argv, fds[1], errPath);
  close(fds[1]);
  std::string line;
  char c = 0;
  while (read(fds[0], &c, 1) == 1 && c != '\n') line += c;
  close(fds[0]);
  const std::size_t colon = line.rfind(':');
  if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
    kill(s.pid, SIGKILL);
    Reap(s.pid, s.started);
    throw std::runtime_error("the simulator did not start (see " + errPath + ")");
  }
  s.port = std::stoi(line.substr(colon + 1));
  return s;
}

Usage StopSimulator(const Simulator& s) {
  kill(s.pid, SIGTERM);
  return Reap(s.pid, s.started);
}

// ---- the benchmark --------------------------------------------------------------------------

struct Size {
  std::string label;
  std::string scale;
};

Size SizeNamed(const std::string& name) {
  if (name == "rows") return {"500,000 rows", "rows=500000"};
  const unsigned long n = std::stoul(name);
  return {std::to_string(n) + " dbs",
          "databases=" + std::to_string(n) + ",logins=" + std::to_string(4 * n) + ",jobs=" +
              std::to_string(std::max(4ul, n * 2 / 5)) + ",history=" + std::to_string(20 * n)};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct Measured {
  std::vector<double> wall, cpu, rss, simCpu, simRss;
};

std::string Mb(double kb) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f MB", kb / 1024);
  return text;
}

std::string Fixed(double v, const char* unit) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f%s", v, unit);
  return text;
}

int Bench(const std::string& self, const std::string& report, const std::string& sim, int runs,
          const std::vector<std::string>& sizeNames) {
  char dirTemplate[] = "/tmp/report_scale.XXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  if (!dir) throw std::runtime_error("cannot make a temporary folder");
  const std::string work = dir;
  const std::string errors = work + "/stderr.log";
  std::cout << "work folder " << work << " (children's standard error in stderr.log)\n"
            << std::flush;

  struct Line {
    std::string label;
    long bytes = 0;
    Measured tool, fetch;
  };
  std::vector<Line> lines;
  for (const std::string& name : sizeNames) {
    const Size size = SizeNamed(name);
    Line line;
    line.label = size.label;
    const std::string batches = work + "/batches-" + name + ".sql";
    std::cerr << size.label << " (--scale " << size.scale << "):";
    for (int run = 0; run < runs; ++run) {
      // Alternating, the report first: its batch log is what the fetch-only client replays.
      for (const bool tool : {true, false}) {
        const std::string log = tool && run == 0 ? batches : "";
        const Simulator s = StartSimulator(sim, size.scale, log, errors);
        const std::string output = work + "/report-" + name + ".htm";
        const auto started = std::chrono::steady_clock::now();
        const pid_t pid =
            tool ? Spawn({report, "--server", "127.0.0.1," + std::to_string(s.port), "--login",
                          "sa", "--output", output},
                         -1, errors, {"QUORVANE_PASSWORD=secret"})
                 : Spawn({self, "--fetch", batches, "--port", std::to_string(s.port)}, -1, errors);
        const Usage u = Reap(pid, started);
        const Usage su = StopSimulator(s);
        if (u.status > 1) {
          std::cerr << "\n"
                    << (tool ? report : "fetch-only client") << " exited with " << u.status
                    << " (see " << errors << ")\n";
        }
        Measured& m = tool ? line.tool : line.fetch;
        m.wall.push_back(u.wall);
        m.cpu.push_back(u.cpu);
        m.rss.push_back(static_cast<double>(u.rssKb));
        m.simCpu.push_back(su.cpu);
        m.simRss.push_back(static_cast<double>(su.rssKb));
        if (tool) {
          struct stat st {};
          if (stat(output.c_str(), &st) == 0) line.bytes = static_cast<long>(st.st_size);
        }
        std::cerr << " " << (tool ? "report " : "fetch ") << Fixed(u.wall, "s");
      }
    }
    std::cerr << "\n";
    lines.push_back(std::move(line));
  }

  std::printf(
      "\nmedians of %d runs; CPU = user+sys of the child; sim = the simulator serving that "
      "client\n\n",
      runs);
  std::printf(
      "| size | report bytes | tool wall | tool CPU | tool RSS | fetch wall | fetch CPU "
      "| fetch RSS | wall ratio | CPU ratio | sim CPU (tool/fetch) | sim RSS max |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Line& l : lines) {
    const double tw = Median(l.tool.wall), tc = Median(l.tool.cpu);
    const double fw = Median(l.fetch.wall), fc = Median(l.fetch.cpu);
    double simRss = 0;
    for (double r : l.tool.simRss) simRss = std::max(simRss, r);
    for (double r : l.fetch.simRss) simRss = std::max(simRss, r);
    std::printf("| %s | %ld | %s | %s | %s | %s | %s | %s | %s | %s | %s / %s | %s |\n",
                l.label.c_str(), l.bytes, Fixed(tw, " s").c_str(), Fixed(tc, " s").c_str(),
                Mb(Median(l.tool.rss)).c_str(), Fixed(fw, " s").c_str(), Fixed(fc, " s").c_str(),
                Mb(Median(l.fetch.rss)).c_str(), Fixed(fw > 0 ? tw / fw : 0, "x").c_str(),
                Fixed(fc > 0 ? tc / fc : 0, "x").c_str(),
                Fixed(Median(l.tool.simCpu), " s").c_str(),
                Fixed(Median(l.fetch.simCpu), " s").c_str(), Mb(simRss).c_str());
  }
  return 0;
}

int BadUsage(const char* problem) {
  std::cerr << "report_scale: " << problem << "\n"
            << "usage: report_scale [--runs N] [--sizes 100,1000,5000,rows] [--report PATH] "
               "[--sim PATH]\n"
            << "       report_scale --fetch BATCH_LOG --port N\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string report = REPORT_SCALE_REPORT;
  std::string sim = REPORT_SCALE_SIM;
  std::string fetchLog;
  int port = 0;
  int runs = 3;
  std::vector<std::string> sizes = {"100", "1000", "5000", "rows"};
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (i + 1 >= argc) return BadUsage("every option needs a value");
      const std::string value = argv[++i];
      if (arg == "--runs") {
        runs = std::max(1, std::stoi(value));
      } else if (arg == "--sizes") {
        sizes.clear();
        std::stringstream list(value);
        for (std::string item; std::getline(list, item, ',');) {
          SizeNamed(item);  // rejects a bad one now, not after an hour
          sizes.push_back(item);
        }
      } else if (arg == "--report") {
        report = value;
      } else if (arg == "--sim") {
        sim = value;
      } else if (arg == "--fetch") {
        fetchLog = value;
      } else if (arg == "--port") {
        port = std::stoi(value);
      } else {
        return BadUsage(("unknown option " + arg).c_str());
      }
    }
    if (!fetchLog.empty()) return Fetch(fetchLog, port);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return BadUsage("cannot find this program's path");
    self[n] = '\0';
    return Bench(self, report, sim, runs, sizes);
  } catch (const std::exception& e) {
    std::cerr << "report_scale: " << e.what() << "\n";
    return 1;
  }
}
