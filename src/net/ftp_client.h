#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "net/endpoint.h"
#include "net/net_task.h"
#include "net/socket.h"
#include "settings/stored_password.h"
#include "support/send_result.h"

namespace sonaro {

class SettingsStore;

// Budgets of the FTP client; tests shorten them.
struct FtpTimeouts {
    int connectMs = 10000;
    int replyMs = 60000;
    int commandMs = 20000;
    int passwordMs = 3000;
    int dataMs = 20000;
    int listingMs = 40000;
    // A whole TLS handshake, on the control or a data connection.
    int handshakeMs = 20000;
};

// How a connection treats encryption. The defaults are plain FTP; the transmit method takes its
// values from the "Ftp" settings.
struct FtpSecurity {
    // AUTH TLS when the server accepts it, then PBSZ 0 and PROT P so that data connections are
    // encrypted as well (each reusing the control connection's TLS session).
    bool secure = false;
    // USER and PASS may cross a connection that is not encrypted. Without it, a server that
    // cannot encrypt never sees them: the log-on fails with a text saying why.
    bool allowPlainPassword = true;
    // Details for the program log; empty: none kept.
    std::function<void(std::string_view)> log;
};

// What the server's FEAT answer offered.
struct FtpFeatureSet {
    bool asked = false;
    bool size = false;
    bool mdtm = false;
    bool mfmt = false;
    bool mlstSize = false;
    bool mlstModify = false;
    bool mlstType = false;
    bool mlsd = false;
};

struct FtpReply {
    int code = 0;
    // The final line's text after the code and its separator.
    std::string text;
};

// Reads the data port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" reply text into
// `endpoint` (address h1.h2.h3.h4, port p1 * 256 + p2). False when "(" or a "," is missing.
bool ParsePassiveReply(std::string_view text, Endpoint& endpoint);

// One control connection of plain FTP (passive mode, IPv4) and the features learnt on it. Every
// operation returns Stopped when the task's stop is requested during a wait and Failed on a
// refused or timed-out connect, a failed send, an unreadable reply or a code outside the range
// the step requires. Texts with a line break (names, user, password) are refused, since they
// would add a command. Used on one thread.
class FtpConnection {
  public:
    explicit FtpConnection(NetTask& task, FtpTimeouts timeouts = {}, FtpSecurity security = {})
        : m_task(task), m_timeouts(timeouts), m_security(std::move(security)) {}

    // Connects to `server` ("host" or "host:port", port 21 by default) and logs on; the user name
    // and password go out as UTF-8, PASS only when USER did not log on already. With `secure`,
    // the control connection is encrypted first (its certificate checked against the host); a
    // refused certificate, or a plain connection where the password may not go, is reported to
    // the task as a failure text.
    SendResult FtpLogOn(std::string_view server, std::string_view user, std::string_view password);
    SendResult FtpChangeDirectory(std::string_view directory);
    // Stores `localPath` as `remoteName` in binary mode, reporting progress from 0 to 1, then sets
    // the remote modification time by MFMT when the server offers it. Ok when the transfer ended
    // with 226 or 250, or else when the remote size equals the local size.
    SendResult FtpUpload(std::string_view remoteName, const std::string& localPath);
    // Sends `line` and reads the reply; Ok for codes 200 to 399.
    SendResult FtpCommand(std::string_view line, FtpReply& reply);
    // The remote file's size by MLST, SIZE, MLSD or LIST, the first that gives one; Ok with size
    // 0 when MLST says the file is absent.
    SendResult FtpRemoteSize(std::string_view remoteName, std::uint64_t& size);
    // Asks FEAT once per connection; a refused FEAT assumes SIZE only and is asked again later.
    SendResult FtpFeatures();

    const FtpFeatureSet& features() const { return m_features; }
    bool isEncrypted() const { return m_control.isEncrypted(); }
    void close() {
        m_control.close();
        m_protectData = false;
    }

  private:
    SendResult readReply(NetTask& task, FtpReply& reply, std::vector<std::string>* lines);
    SendResult exchange(std::string_view line, FtpReply& reply, std::vector<std::string>* lines);
    SendResult secureControl(std::string_view server);
    SendResult protectData(Socket& data);
    SendResult fail(std::string text);
    void log(std::string_view text) const;
    SendResult openDataConnection(Socket& data);
    SendResult startStore(const std::string& storeLine, Socket& data);
    SendResult transfer(std::FILE* file, std::uint64_t size, Socket& data, bool& sentAll);
    SendResult verifyStore(std::string_view remoteName, std::uint64_t localSize, bool sentAll);
    SendResult setModificationTime(std::string_view remoteName, const std::string& localPath);
    SendResult sizeByMlst(std::string_view remoteName, std::uint64_t& size, bool& found);
    SendResult sizeBySize(std::string_view remoteName, std::uint64_t& size, bool& found);
    SendResult sizeByListing(std::string_view remoteName, bool machineListing, std::uint64_t& size,
                             bool& found);
    SendResult listing(std::string_view command, std::string& data);

    NetTask& m_task;
    FtpTimeouts m_timeouts;
    FtpSecurity m_security;
    Socket m_control;
    std::string m_host;
    // PROT P accepted: every data connection is encrypted.
    bool m_protectData = false;
    FtpFeatureSet m_features;
};

// The FTP transmit method: logs on with the "Ftp" settings, changes to "Directory" and uploads
// `path` under its own file name. The password comes from `passwords` (sealed or plain), or from
// the plain value when none is given. Encryption follows "UseSSL" and "AllowPlainPassword" of
// "Ftp"; `log` takes the details for the program log. The connection is closed on every return.
SendResult UploadRecordingByFtp(NetTask& task, const SettingsStore& settings,
                                const std::string& path, const FtpTimeouts& timeouts = {},
                                const StoredPassword* passwords = nullptr,
                                std::function<void(std::string_view)> log = {});

}  // namespace sonaro
