// The real server binary with HTTPS on: the certificate it makes and keeps, certificates it
// is given and reads again when they are replaced, files it cannot use, and real clients
// (curl, openssl, Python's requests) on 127.0.0.1.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "common/config/password_hash.h"
#include "platform/testing/shell_output.h"
#include "platform/testing/test_folder.h"
#include "server/app/testing/child_process.h"
#include "server/pages/html_escape.h"

#ifndef LUMENVALE_BINARY
#error "LUMENVALE_BINARY must name the server executable"
#endif

namespace {

// Makes a self-signed certificate for localhost and 127.0.0.1 with a key of `key_options`.
void MakeCertificate(const std::string& key_options, const std::string& cert,
                     const std::string& key) {
  ShellOutput("openssl req -x509 -newkey " + key_options + " -nodes -days 2 -subj /CN=localhost " +
              "-addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout " + key + " -out " + cert +
              " 2>/dev/null");
}

std::string FileFingerprint(const std::string& cert) {
  std::string line = ShellOutput("openssl x509 -noout -fingerprint -sha256 -in " + cert);
  size_t equals = line.find('=');
  return equals == std::string::npos ? "" : line.substr(equals + 1, line.find('\n') - equals - 1);
}

class HttpsBinaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder_.Path("pictures"));
    std::filesystem::create_directories(folder_.Path("units"));
    std::filesystem::create_directories(folder_.Path("runtime"));
    chmod(folder_.Path("runtime").c_str(), 0700);
    picture_ = PseudoRandomBytes(1'500'000, 3);
    folder_.Write("pictures/photo.jpg", picture_);
  }

  std::string Config(const std::string& name, const std::string& extra) {
    return folder_.Write(name, GalleryConfig(folder_.Path("pictures"), 0) + extra);
  }

  std::unique_ptr<ChildProcess> Start(const std::string& config) {
    ChildProcess::Environment env = ConsoleEnvironment(folder_.Path("units"));
    env["XDG_RUNTIME_DIR"] = folder_.Path("runtime");
    env["XDG_DATA_HOME"] = folder_.Path("data");
    env["XDG_CACHE_HOME"] = folder_.Path("cache");
    return std::make_unique<ChildProcess>(std::vector<std::string>{LUMENVALE_BINARY, config}, env);
  }

  // Reads the start lines up to the certificate's; its fingerprint goes to *fingerprint.
  int ReadStart(ChildProcess& server, std::string* fingerprint = nullptr) {
    std::string banner = server.ReadLine();
    EXPECT_EQ(banner.rfind("Lumenvale is serving https://localhost:", 0), 0u) << banner;
    for (std::string line = server.ReadLine(); !line.empty(); line = server.ReadLine()) {
      const std::string marker = "SHA-256 fingerprint ";
      size_t at = line.find(marker);
      if (at == std::string::npos) continue;
      if (fingerprint != nullptr) *fingerprint = line.substr(at + marker.size(), 95);
      break;
    }
    return BannerPort(banner);
  }

  std::string Curl(int port, const std::string& cert, const std::string& options,
                   const std::string& path, const std::string& host = "localhost") {
    return ShellOutput("curl -s --http1.1 --max-time 20 --cacert " + cert + " " + options +
                       " https://" + host + ":" + std::to_string(port) + path);
  }

  std::string ServedFingerprint(int port) {
    std::string line = ShellOutput("openssl s_client -connect 127.0.0.1:" + std::to_string(port) +
                                   " </dev/null 2>/dev/null | openssl x509 -noout -fingerprint "
                                   "-sha256");
    size_t equals = line.find('=');
    return equals == std::string::npos ? "" : line.substr(equals + 1, line.find('\n') - equals - 1);
  }

  // Waits until the picture is listed: the first scan follows the start.
  void WaitForPicture(int port, const std::string& cert) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Curl(port, cert, "", "/image?page=1-N-0") != picture_ &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  TestFolder folder_;
  std::string picture_;
};

TEST_F(HttpsBinaryTest, TheGeneratedCertificateIsKeptPrivateAndReusedAtTheNextStart) {
  const std::string config = Config("gallery.con", "<HTTPS>1</HTTPS>\r\n");
  const std::string cert = folder_.Path("data/lumenvale/tls-cert.pem");
  const std::string key = folder_.Path("data/lumenvale/tls-key.pem");
  std::string first_fingerprint;
  {
    std::unique_ptr<ChildProcess> server = Start(config);
    const int port = ReadStart(*server, &first_fingerprint);
    ASSERT_NE(port, 0);
    EXPECT_EQ(first_fingerprint, FileFingerprint(cert));
    EXPECT_EQ(ServedFingerprint(port), first_fingerprint);
    struct stat key_status;
    ASSERT_EQ(stat(key.c_str(), &key_status), 0);
    EXPECT_EQ(key_status.st_mode & 0777, 0600u);
    std::string names = ShellOutput("openssl x509 -noout -ext subjectAltName -in " + cert);
    EXPECT_NE(names.find("DNS:localhost"), std::string::npos) << names;
    EXPECT_NE(names.find("IP Address:127.0.0.1"), std::string::npos) << names;
    EXPECT_NE(ShellOutput("openssl x509 -noout -text -in " + cert).find("prime256v1"),
              std::string::npos);
    // Trusted by name and by address.
    WaitForPicture(port, cert);
    EXPECT_TRUE(Curl(port, cert, "", "/image?page=1-N-0") == picture_);
    EXPECT_TRUE(Curl(port, cert, "", "/image?page=1-N-0", "127.0.0.1") == picture_);
    EXPECT_EQ(server->Wait(SIGTERM), 0);
  }
  std::unique_ptr<ChildProcess> again = Start(config);
  std::string second_fingerprint;
  const int port = ReadStart(*again, &second_fingerprint);
  EXPECT_EQ(second_fingerprint, first_fingerprint);
  EXPECT_EQ(ServedFingerprint(port), first_fingerprint);
  EXPECT_EQ(again->Wait(SIGTERM), 0);
}

TEST_F(HttpsBinaryTest, OverTlsTheAnswersAreTheBytesOfPlainHttp) {
  std::unique_ptr<ChildProcess> plain = Start(Config("plain.con", ""));
  const int plain_port = BannerPort(plain->ReadLine());
  std::unique_ptr<ChildProcess> tls = Start(Config("tls.con", "<HTTPS>1</HTTPS>\r\n"));
  const int tls_port = ReadStart(*tls);
  const std::string cert = folder_.Path("data/lumenvale/tls-cert.pem");
  WaitForPicture(tls_port, cert);
  // Each answer carries a fresh script nonce; everything else must be the same.
  auto without_nonce = [](const std::string& answer) {
    return std::regex_replace(answer, std::regex("'nonce-[^']*'"), "'nonce-'");
  };
  for (const char* path : {"/image?page=1-N-0", "/nothing", "/script?name=font.css"}) {
    std::string over_tls = without_nonce(Curl(tls_port, cert, "-i", path));
    std::string plain_bytes = without_nonce(
        ShellOutput("curl -s -i --http1.1 http://localhost:" + std::to_string(plain_port) + path));
    EXPECT_GT(over_tls.size(), 100u) << path;
    EXPECT_TRUE(over_tls == plain_bytes) << path << "\n" << over_tls.substr(0, 300);
  }
  EXPECT_EQ(plain->Wait(SIGTERM), 0);
  EXPECT_EQ(tls->Wait(SIGTERM), 0);
}

TEST_F(HttpsBinaryTest, PythonRequestsLogsInWithDigestOverHttps) {
  std::string hash;
  ASSERT_TRUE(PasswordHash("anna", "wonder land", &hash));
  std::unique_ptr<ChildProcess> server =
      Start(Config("digest.con",
                   "<HTTPS>1</HTTPS>\r\n<NEED_USER>1</NEED_USER>\r\n"
                   "<USER><USER_NAME>anna</USER_NAME><HASH>" +
                       hash + "</HASH><PRIV>1</PRIV></USER>\r\n"));
  const int port = ReadStart(*server);
  const std::string cert = folder_.Path("data/lumenvale/tls-cert.pem");
  const std::string script =
      "import sys, requests\n"
      "from requests.auth import HTTPDigestAuth\n"
      "url = 'https://localhost:%s/info' % sys.argv[1]\n"
      "good = requests.get(url, auth=HTTPDigestAuth('anna', 'wonder land'), verify=sys.argv[2])\n"
      "bad = requests.get(url, auth=HTTPDigestAuth('anna', 'wrong'), verify=sys.argv[2])\n"
      "print(good.status_code, 'Status Info' in good.text, bad.status_code)\n";
  const std::string script_path = folder_.Write("digest.py", script);
  EXPECT_EQ(ShellOutput("python3 " + script_path + " " + std::to_string(port) + " " + cert),
            "200 True 401\n");
  EXPECT_EQ(server->Wait(SIGTERM), 0);
}

TEST_F(HttpsBinaryTest, PlainHttpOnTheSamePortIsRedirectedToHttps) {
  std::unique_ptr<ChildProcess> server = Start(Config("gallery.con", "<HTTPS>1</HTTPS>\r\n"));
  const int port = ReadStart(*server);
  const std::string port_text = std::to_string(port);
  EXPECT_EQ(ShellOutput("curl -s -i http://localhost:" + port_text + "/view?page=1-N-0"),
            "HTTP/1.1 301 Moved Permanently\r\nLocation: https://localhost:" + port_text +
                "/view?page=1-N-0\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  // Followed, it leads to the page.
  const std::string cert = folder_.Path("data/lumenvale/tls-cert.pem");
  EXPECT_EQ(ShellOutput("curl -s -L -o /dev/null -w '%{http_code} %{url_effective}' --cacert " +
                        cert + " http://localhost:" + port_text + "/info"),
            "200 https://localhost:" + port_text + "/info");
  EXPECT_EQ(server->Wait(SIGTERM), 0);
}

TEST_F(HttpsBinaryTest, ReplacedCertificateFilesAreReadAgainAndBadOnesLeaveTheOldInUse) {
  const std::string cert = folder_.Path("cert.pem");
  const std::string key = folder_.Path("key.pem");
  MakeCertificate("ec -pkeyopt ec_paramgen_curve:P-256", cert, key);
  std::unique_ptr<ChildProcess> server =
      Start(Config("gallery.con", "<HTTPS>1</HTTPS>\r\n<TLS_CERT>" + cert +
                                      "</TLS_CERT>\r\n<TLS_KEY>" + key + "</TLS_KEY>\r\n"));
  std::string started_with;
  const int port = ReadStart(*server, &started_with);
  EXPECT_EQ(started_with, FileFingerprint(cert));
  EXPECT_EQ(ServedFingerprint(port), started_with);

  // A renewal as ACME clients make it: new files renamed over the old ones, here RSA.
  MakeCertificate("rsa:2048", folder_.Path("new-cert.pem"), folder_.Path("new-key.pem"));
  const std::string renewed = FileFingerprint(folder_.Path("new-cert.pem"));
  std::filesystem::rename(folder_.Path("new-key.pem"), key);
  std::filesystem::rename(folder_.Path("new-cert.pem"), cert);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ServedFingerprint(port) != renewed && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_EQ(ServedFingerprint(port), renewed);

  // A file that cannot be used: the renewed certificate stays, and the status page says why.
  const std::string kept = folder_.Write("kept.pem", folder_.Read("cert.pem"));
  folder_.Write("broken.pem", "not a certificate\n");
  std::filesystem::rename(folder_.Path("broken.pem"), cert);
  std::string info;
  deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    info = Curl(port, kept, "", "/info");
  } while (info.find("Certificate problem:") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline);
  EXPECT_NE(info.find("Certificate problem:" +
                      EscapeHtmlEntities("The certificate file " + cert +
                                         " holds no usable PEM certificate (no start line); the "
                                         "certificate read before is still in use")),
            std::string::npos)
      << info;
  EXPECT_NE(info.find("SHA-256 fingerprint:" + renewed), std::string::npos);
  EXPECT_NE(info.find("<br>HTTPS:1<br>TLS_CERT:\"" + EscapeHtmlEntitiesBare(cert) + "\"<br>"),
            std::string::npos);
  // The status page's own connection, open while the page is made.
  EXPECT_NE(info.find(" TLSv1.3 http/1.1]"), std::string::npos);
  EXPECT_EQ(ServedFingerprint(port), renewed);
  EXPECT_EQ(server->Wait(SIGTERM), 0);
}

TEST_F(HttpsBinaryTest, CertificateFilesThatCannotBeUsedStopTheStart) {
  const std::string cert = folder_.Path("cert.pem");
  const std::string key = folder_.Path("key.pem");
  const std::string other_key = folder_.Path("other-key.pem");
  MakeCertificate("ec -pkeyopt ec_paramgen_curve:P-256", cert, key);
  MakeCertificate("ec -pkeyopt ec_paramgen_curve:P-256", folder_.Path("other-cert.pem"), other_key);
  const std::string junk = folder_.Write("junk.pem", "not a certificate\n");
  const std::string missing = folder_.Path("missing.pem");
  auto files = [](const std::string& c, const std::string& k) {
    return "<HTTPS>1</HTTPS>\r\n<TLS_CERT>" + c + "</TLS_CERT>\r\n<TLS_KEY>" + k + "</TLS_KEY>\r\n";
  };
  struct Case {
    std::string settings;
    std::string errors;
  } cases[] = {
      {files(missing, key),
       "The certificate file " + missing +
           " cannot be read (No such file or directory). Nothing is served.\n"},
      {files(cert, missing),
       "The private key file " + missing +
           " cannot be read (No such file or directory). Nothing is served.\n"},
      {files(junk, key),
       "The certificate file " + junk +
           " holds no usable PEM certificate (no start line). Nothing is served.\n"},
      {files(cert, junk), "The private key file " + junk +
                              " holds no usable PEM private key (unsupported). Nothing is "
                              "served.\n"},
      {files(cert, other_key), "The private key file " + other_key +
                                   " does not belong to the certificate in " + cert +
                                   ". Nothing is served.\n"},
      {"<HTTPS>1</HTTPS>\r\n<TLS_CERT>" + cert + "</TLS_CERT>\r\n",
       "HTTPS needs both TLS_CERT and TLS_KEY, or neither for a self-signed certificate. Nothing "
       "is served.\n"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<ChildProcess> server = Start(Config("bad.con", c.settings));
    EXPECT_EQ(server->Wait(), 1) << c.settings;
    EXPECT_EQ(server->ReadErrors(), c.errors);
    EXPECT_EQ(server->ReadLine(100), "") << c.settings;  // nothing listened, not even plain HTTP
  }
}

}  // namespace
