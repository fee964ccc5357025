#include "e2e/player/PlayerE2ESupport.hpp"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vellory::e2e {

namespace {

std::int16_t markerSample(unsigned value) {
  return static_cast<std::int16_t>(static_cast<int>(value << 8) - 32768 + 128);
}

}  // namespace

std::vector<std::uint8_t> markerFrames(std::size_t frameCount) {
  std::vector<std::uint8_t> pcm;
  pcm.reserve(frameCount * 4);
  for (std::size_t k = 0; k < frameCount; ++k) {
    for (const std::int16_t sample : {markerSample(k & 0xFF), markerSample((k >> 8) & 0xFF)}) {
      const auto bits = static_cast<std::uint16_t>(sample);
      pcm.push_back(static_cast<std::uint8_t>(bits & 0xFF));
      pcm.push_back(static_cast<std::uint8_t>(bits >> 8));
    }
  }
  return pcm;
}

int markerOf(const std::uint8_t* frame) {
  const auto left = static_cast<std::int16_t>(frame[0] | (frame[1] << 8));
  const auto right = static_cast<std::int16_t>(frame[2] | (frame[3] << 8));
  if (left == 0 && right == 0) return -1;
  const int low = (left + 32768) >> 8;
  const int high = (right + 32768) >> 8;
  return low | (high << 8);
}

PrivateSink::PrivateSink() : name_("vellory_player_e2e_" + std::to_string(getpid())) {
  const std::vector<std::string> load = {
      "pactl", "load-module", "module-null-sink", "sink_name=" + name_, "channels=2", "rate=48000"};
  auto withoutRewinds = load;
  withoutRewinds.push_back("norewinds=1");
  auto result = runCommand(withoutRewinds);
  if (result.status != 0) result = runCommand(load);
  if (result.status != 0) throw std::runtime_error("cannot load a null sink: " + result.err);
  module_ = result.out.substr(0, result.out.find('\n'));
}

PrivateSink::~PrivateSink() {
  runCommand({"pactl", "unload-module", module_});
}

MonitorRecorder::MonitorRecorder(const std::string& sink)
    : recorder_({"pacat", "--record", "--device=" + sink + ".monitor", "--rate=48000",
                 "--channels=2", "--format=s16le", "--latency-msec=50"}) {
  // An idle monitor can start late; the player is started only once audio flows.
  waitUntil([&] { return !recorder_.outputSoFar().empty(); }, std::chrono::seconds(5));
}

std::vector<std::uint8_t> MonitorRecorder::finish(std::size_t silentFrames) {
  waitUntil(
      [&] {
        const std::string raw = recorder_.outputSoFar();
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw.data());
        std::size_t frame = raw.size() / 4;
        std::size_t silent = 0;
        while (frame > 0 && markerOf(bytes + (frame - 1) * 4) < 0) {
          --frame;
          ++silent;
        }
        return frame > 0 && silent >= silentFrames;
      },
      std::chrono::seconds(8));
  recorder_.signal(SIGINT);
  const auto result = recorder_.wait(std::chrono::seconds(5));
  const std::string& raw = result ? result->out : recorder_.outputSoFar();
  return {raw.begin(), raw.end()};
}

namespace {

// Self-signed, for the names the tests connect to: the player verifies the server's name too.
void makeCertificate(const std::string& key, const std::string& cert) {
  const auto made = runCommand({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                                "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out",
                                cert, "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
                                "subjectAltName=IP:127.0.0.1,DNS:localhost"});
  if (made.status != 0) throw std::runtime_error("openssl: " + made.err);
}

// Waits for the port a server writes on its first line.
int portOf(BackgroundProcess& server) {
  waitUntil([&] { return server.outputSoFar().find('\n') != std::string::npos; },
            std::chrono::seconds(10));
  const int port = std::atoi(server.outputSoFar().c_str());
  if (port <= 0) throw std::runtime_error("https server: " + server.errorsSoFar());
  return port;
}

}  // namespace

HttpsServer::HttpsServer(const std::string& directory) {
  const auto key = keys_.file("key.pem");
  const auto cert = keys_.file("cert.pem");
  makeCertificate(key, cert);
  const std::string script =
      "import http.server, ssl, sys, os\n"
      "os.chdir(sys.argv[1])\n"
      "context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)\n"
      "context.load_cert_chain(sys.argv[2], sys.argv[3])\n"
      "server = http.server.ThreadingHTTPServer(('127.0.0.1', 0),"
      " http.server.SimpleHTTPRequestHandler)\n"
      "server.socket = context.wrap_socket(server.socket, server_side=True)\n"
      "print(server.server_address[1], flush=True)\n"
      "server.serve_forever()\n";
  server_ = std::make_unique<BackgroundProcess>(
      std::vector<std::string>{"python3", "-c", script, directory, cert, key});
  port_ = portOf(*server_);
}

std::string HttpsServer::certificate() const {
  return keys_.file("cert.pem");
}

std::string HttpsServer::url(const std::string& name) const {
  return "https://127.0.0.1:" + std::to_string(port_) + "/" + name;
}

PacedHttpsServer::PacedHttpsServer(const std::string& directory) {
  const auto key = keys_.file("key.pem");
  const auto cert = keys_.file("cert.pem");
  makeCertificate(key, cert);
  server_ = std::make_unique<BackgroundProcess>(std::vector<std::string>{
      "python3", std::string(VELLORY_SOURCE_DIR) + "/tests/tools/paced-https-server.py", directory,
      cert, key});
  port_ = portOf(*server_);
  std::istringstream ports(server_->outputSoFar());
  ports >> port_ >> plainPort_;
}

std::string PacedHttpsServer::certificate() const {
  return keys_.file("cert.pem");
}

std::string PacedHttpsServer::url(const std::string& nameAndQuery) const {
  return "https://127.0.0.1:" + std::to_string(port_) + "/" + nameAndQuery;
}

std::string PacedHttpsServer::plainUrl(const std::string& nameAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(plainPort_) + "/" + nameAndQuery;
}

std::vector<std::pair<std::string, long>> PacedHttpsServer::requests() {
  std::vector<std::pair<std::string, long>> requests;
  std::istringstream log(server_->errorsSoFar());
  std::string word;
  std::string path;
  long first = 0;
  while (log >> word >> path >> first) {
    if (word == "GET") requests.emplace_back(path, first);
  }
  return requests;
}

std::vector<long> PacedHttpsServer::requestStarts() {
  std::vector<long> starts;
  for (const auto& request : requests()) starts.push_back(request.second);
  return starts;
}

std::vector<std::string> PacedHttpsServer::requestPaths() {
  std::vector<std::string> paths;
  for (const auto& request : requests()) paths.push_back(request.first);
  return paths;
}

int closedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

bool haveSoundServer() {
  return std::getenv("PULSE_SERVER") != nullptr;
}

bool decoderRunsFor(const std::string& source) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::ifstream cmdline(std::string("/proc/") + entry->d_name + "/cmdline", std::ios::binary);
    std::stringstream words;
    words << cmdline.rdbuf();
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string statLine;
    std::getline(stat, statLine);
    const auto close = statLine.rfind(')');
    const bool zombie =
        close != std::string::npos && close + 2 < statLine.size() && statLine[close + 2] == 'Z';
    const std::string text = words.str();
    if (!zombie && text.find(source) != std::string::npos &&
        text.find("-hide_banner") != std::string::npos) {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

namespace {

// The running processes of process group `group`, from /proc.
std::vector<pid_t> groupMembers(pid_t group) {
  std::vector<pid_t> members;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return members;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(line.substr(close + 2));
    char state = 0;
    long parent = 0;
    long processGroup = 0;
    fields >> state >> parent >> processGroup;
    if (state != 'Z' && processGroup == group) members.push_back(std::atoi(entry->d_name));
  }
  closedir(proc);
  return members;
}

}  // namespace

void interruptLikeATerminal(pid_t leader) {
  for (const pid_t member : groupMembers(leader)) {
    if (member != leader) kill(member, SIGINT);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(-leader, SIGINT);
}

void expectSigtermEndsAtOnce(BackgroundProcess& player, const std::string& url,
                             const std::string& expectedErr, std::chrono::milliseconds limit) {
  const auto signalled = std::chrono::steady_clock::now();
  player.signal(SIGTERM);
  const auto result = player.wait(std::chrono::seconds(5));
  const auto took = std::chrono::steady_clock::now() - signalled;
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->status, 0) << result->err;
  EXPECT_EQ(result->err, expectedErr);
  EXPECT_LT(took, limit);
  EXPECT_FALSE(decoderRunsFor(url));
}

}  // namespace vellory::e2e
