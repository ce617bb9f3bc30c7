#include "net/ftp_client.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>

#include "net/ftp_listing.h"
#include "net/tls_session.h"
#include "net/wire_number.h"
#include "settings/settings_store.h"

namespace sonaro {
namespace {

constexpr std::uint16_t kFtpPort = 21;
constexpr std::size_t kMaxReplyLines = 100;
constexpr std::size_t kMaxReplyLine = 519;
constexpr std::size_t kMaxName = 259;
constexpr std::size_t kTransferBlock = 64 * 1024;

constexpr std::string_view kNoSecureConnection =
    "did not offer a secure connection, so the user name and password were not sent. Please "
    "turn on \"Use secure connection (SSL/TLS) if available\" in Options->Transmit, or allow "
    "sending the password unencrypted there.";

// Waits that must run to their end whatever the job's stop says (the reply after a transfer).
class IgnoreStopTask final : public NetTask {
  public:
    explicit IgnoreStopTask(NetTask& inner) : m_inner(inner) {}
    bool IsStopRequested() const override { return false; }
    WaitHandle stopHandle() const override { return -1; }
    void ReportMessage(std::string_view text) override { m_inner.ReportMessage(text); }
    void ReportStatus(std::string_view text, int kind) override {
        m_inner.ReportStatus(text, kind);
    }
    void ReportProgress(double fraction) override { m_inner.ReportProgress(fraction); }

  private:
    NetTask& m_inner;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool inRange(const FtpReply& reply, int low, int high) {
    return reply.code >= low && reply.code <= high;
}

// 0 when the line does not start with a three-digit code.
int replyCode(std::string_view line) {
    std::uint64_t code = 0;
    return ReadWireNumber(line, 999, code) ? static_cast<int>(code) : 0;
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// The number after "size=" (or "sizd=") in a fact list, up to the next ";".
bool readSizeFact(std::string_view line, std::uint64_t& size) {
    const std::string lower = lowerCase(line);
    std::size_t at = lower.find("size=");
    if (at == std::string::npos) {
        at = lower.find("sizd=");
    }
    if (at == std::string::npos) {
        return false;
    }
    return ReadWireNumber(std::string_view(lower).substr(at + 5), UINT64_MAX, size);
}

// The name of an MLSD line: the text after the facts' "; ".
std::string_view machineListingName(std::string_view line) {
    const std::size_t space = line.find(' ');
    return space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
}

std::vector<std::string> dataLines(const std::string& data) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t end = std::min(data.find('\n', start), data.size());
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string_view lastComponent(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ParsePassiveReply(std::string_view text, Endpoint& endpoint) {
    std::size_t at = text.find('(');
    if (at == std::string_view::npos) {
        return false;
    }
    int numbers[6] = {};
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            at = text.find(',', at);
            if (at == std::string_view::npos) {
                return false;
            }
        }
        ++at;
        std::uint64_t number = 0;
        if (!ReadWireNumber(text.substr(std::min(at, text.size())), 255, number)) {
            return false;
        }
        numbers[i] = static_cast<int>(number);
    }
    endpoint.address = static_cast<std::uint32_t>(numbers[0]) << 24 |
                       static_cast<std::uint32_t>(numbers[1]) << 16 |
                       static_cast<std::uint32_t>(numbers[2]) << 8 |
                       static_cast<std::uint32_t>(numbers[3]);
    endpoint.port = static_cast<std::uint16_t>(numbers[4] * 256 + numbers[5]);
    return true;
}

SendResult FtpConnection::readReply(NetTask& task, FtpReply& reply,
                                    std::vector<std::string>* lines) {
    reply = FtpReply{};
    std::string line;
    // Inside a "ddd-" reply only "ddd " (the same code) ends it, as RFC 959 says.
    std::string opening;
    for (;;) {
        const SendResult result = ReceiveLine(task, m_control, line, m_timeouts.replyMs);
        if (result != SendResult::Ok) {
            return result;
        }
        if (lines != nullptr && lines->size() < kMaxReplyLines) {
            lines->push_back(line.substr(0, kMaxReplyLine));
        }
        if (line.empty() || line.front() == ' ') {
            continue;
        }
        const bool continued = line.size() >= 4 && line[3] == '-';
        if (opening.empty() && continued) {
            opening = line.substr(0, 3);
            continue;
        }
        if (continued || (!opening.empty() && line.compare(0, 3, opening) != 0)) {
            continue;
        }
        reply.code = replyCode(line);
        reply.text = line.size() > 4 ? line.substr(4, kMaxName) : std::string();
        return SendResult::Ok;
    }
}

SendResult FtpConnection::exchange(std::string_view line, FtpReply& reply,
                                   std::vector<std::string>* lines) {
    reply = FtpReply{};
    const SendResult sent = SendAll(m_task, m_control, line, m_timeouts.commandMs);
    return sent == SendResult::Ok ? readReply(m_task, reply, lines) : sent;
}

SendResult FtpConnection::FtpCommand(std::string_view line, FtpReply& reply) {
    const SendResult result = exchange(line, reply, nullptr);
    if (result != SendResult::Ok) {
        return result;
    }
    return inRange(reply, 200, 399) ? SendResult::Ok : SendResult::Failed;
}

SendResult FtpConnection::fail(std::string text) {
    m_task.ReportMessage(text);
    return SendResult::Failed;
}

void FtpConnection::log(std::string_view text) const {
    if (m_security.log) {
        m_security.log(text);
    }
}

// AUTH TLS and the handshake; a server that refuses AUTH TLS leaves the connection plain. Then
// PBSZ 0 and PROT P: a server that refuses PROT P gets plain data connections.
SendResult FtpConnection::secureControl(std::string_view server) {
    FtpReply reply;
    SendResult result = exchange("AUTH TLS\r\n", reply, nullptr);
    if (result != SendResult::Ok || reply.code != 234) {
        return result;
    }
    std::string failure;
    std::string details;
    result =
        StartTls(m_task, m_control, m_host, m_timeouts.handshakeMs, failure, nullptr, &details);
    if (result == SendResult::Failed) {
        log("FTP: secure connection to " + std::string(server) + " refused: " + failure + " (" +
            details + ")");
        return fail("Cannot make a secure connection to FTP server \"" + std::string(server) +
                    "\": " + failure + ".");
    }
    if (result != SendResult::Ok) {
        return result;
    }
    log("FTP: secure connection to " + std::string(server) + " (" + details + ")");
    result = exchange("PBSZ 0\r\n", reply, nullptr);
    if (result == SendResult::Ok && inRange(reply, 200, 299)) {
        result = exchange("PROT P\r\n", reply, nullptr);
        m_protectData = result == SendResult::Ok && inRange(reply, 200, 299);
    }
    if (result == SendResult::Ok && !m_protectData) {
        log("FTP: " + std::string(server) + " keeps data connections unencrypted");
    }
    return result;
}

SendResult FtpConnection::FtpLogOn(std::string_view server, std::string_view user,
                                   std::string_view password) {
    close();
    m_features = FtpFeatureSet{};
    if (hasLineBreak(user) || hasLineBreak(password)) {
        return SendResult::Failed;
    }
    m_host = SplitEndpointText(server).host;
    SendResult result = ConnectWithTimeout(m_task, m_control, ResolveEndpoint(server, kFtpPort),
                                           m_timeouts.connectMs);
    FtpReply reply;
    if (result == SendResult::Ok) {
        result = readReply(m_task, reply, nullptr);
    }
    if (result != SendResult::Ok || !inRange(reply, 200, 399)) {
        return result == SendResult::Ok ? SendResult::Failed : result;
    }
    if (m_security.secure) {
        result = secureControl(server);
        if (result != SendResult::Ok) {
            return result;
        }
    }
    if (!m_control.isEncrypted() && !m_security.allowPlainPassword) {
        log("FTP: " + std::string(server) + " is not encrypted; the log-on was not sent");
        return fail("FTP server \"" + std::string(server) + "\" " +
                    std::string(kNoSecureConnection));
    }
    result = exchange("USER " + std::string(user) + "\r\n", reply, nullptr);
    if (result != SendResult::Ok || reply.code == 230 || reply.code == 530) {
        return result == SendResult::Ok && reply.code == 530 ? SendResult::Failed : result;
    }
    result =
        SendAll(m_task, m_control, "PASS " + std::string(password) + "\r\n", m_timeouts.passwordMs);
    if (result == SendResult::Ok) {
        result = readReply(m_task, reply, nullptr);
    }
    if (result != SendResult::Ok) {
        return result;
    }
    return inRange(reply, 200, 399) ? SendResult::Ok : SendResult::Failed;
}

SendResult FtpConnection::FtpChangeDirectory(std::string_view directory) {
    if (hasLineBreak(directory)) {
        return SendResult::Failed;
    }
    FtpReply reply;
    return FtpCommand("CWD " + std::string(directory.substr(0, kMaxName)) + "\r\n", reply);
}

SendResult FtpConnection::openDataConnection(Socket& data) {
    FtpReply reply;
    const SendResult result = exchange("PASV\r\n", reply, nullptr);
    if (result != SendResult::Ok) {
        return result;
    }
    Endpoint offered;
    if (reply.code != 227 || !ParsePassiveReply(reply.text, offered)) {
        return SendResult::Failed;
    }
    // The reply's address is not trusted (it may be private, wrong behind NAT, or a third
    // host): the data goes to the control connection's peer at the offered port.
    const Endpoint endpoint{m_control.peer().address, offered.port};
    return ConnectWithTimeout(m_task, data, endpoint, m_timeouts.dataMs);
}

// After the server's 1xx reply (servers start TLS on the data connection then): the handshake,
// offering the control connection's session, with the same certificate check.
SendResult FtpConnection::protectData(Socket& data) {
    if (!m_protectData) {
        return SendResult::Ok;
    }
    std::string failure;
    std::string details;
    const SendResult result =
        StartTls(m_task, data, m_host, m_timeouts.handshakeMs, failure, &m_control, &details);
    if (result == SendResult::Failed) {
        log("FTP: data connection to " + m_host + " not encrypted: " + failure + " (" + details +
            ")");
        return fail("Cannot make a secure data connection to FTP server \"" + m_host +
                    "\": " + failure + ".");
    }
    if (result == SendResult::Ok) {
        log("FTP: data connection encrypted (" + details + ")");
    }
    return result;
}

SendResult FtpConnection::startStore(const std::string& storeLine, Socket& data) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        SendResult result = openDataConnection(data);
        FtpReply reply;
        if (result == SendResult::Ok) {
            result = exchange(storeLine, reply, nullptr);
        }
        if (result != SendResult::Ok) {
            return result;
        }
        if (inRange(reply, 100, 199)) {
            return protectData(data);
        }
        data.close();
        if (reply.code != 550) {
            break;
        }
    }
    return SendResult::Failed;
}

SendResult FtpConnection::transfer(std::FILE* file, std::uint64_t size, Socket& data,
                                   bool& sentAll) {
    sentAll = false;
    m_task.ReportProgress(0);
    std::string block(kTransferBlock, '\0');
    std::uint64_t sent = 0;
    int percent = 0;
    std::size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), file)) > 0) {
        const SendResult result =
            SendAll(m_task, data, std::string_view(block.data(), got), m_timeouts.dataMs);
        if (result == SendResult::Stopped) {
            return result;
        }
        if (result != SendResult::Ok) {
            return SendResult::Ok;
        }
        sent += got;
        const int now =
            size == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(100, sent * 100 / size));
        if (now != percent) {
            percent = now;
            m_task.ReportProgress(percent / 100.0);
        }
    }
    sentAll = std::ferror(file) == 0;
    return SendResult::Ok;
}

SendResult FtpConnection::verifyStore(std::string_view remoteName, std::uint64_t localSize,
                                      bool sentAll) {
    IgnoreStopTask patient(m_task);
    FtpReply reply;
    const SendResult read = readReply(patient, reply, nullptr);
    if (read == SendResult::Ok && sentAll && (reply.code == 226 || reply.code == 250)) {
        return SendResult::Ok;
    }
    std::uint64_t remoteSize = 0;
    const SendResult sized = FtpRemoteSize(remoteName, remoteSize);
    if (sized != SendResult::Ok) {
        return sized;
    }
    return remoteSize == localSize ? SendResult::Ok : SendResult::Failed;
}

SendResult FtpConnection::setModificationTime(std::string_view remoteName,
                                              const std::string& localPath) {
    const SendResult features = FtpFeatures();
    struct stat info {};
    if (features == SendResult::Stopped || !m_features.mfmt ||
        stat(localPath.c_str(), &info) != 0) {
        return features == SendResult::Stopped ? features : SendResult::Ok;
    }
    std::tm utc{};
    gmtime_r(&info.st_mtime, &utc);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d%02d", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    FtpReply reply;
    const SendResult result =
        FtpCommand("MFMT " + std::string(stamp) + " " + std::string(remoteName) + "\r\n", reply);
    // The file is stored either way; only a stop changes the upload's result.
    return result == SendResult::Stopped ? result : SendResult::Ok;
}

SendResult FtpConnection::FtpUpload(std::string_view remoteName, const std::string& localPath) {
    m_task.ReportStatus("Uploading file...", 0);
    m_task.ReportStatus(lastComponent(localPath), 1);
    const FilePtr file(std::fopen(localPath.c_str(), "rb"));
    struct stat info {};
    if (!file || fstat(fileno(file.get()), &info) != 0 || hasLineBreak(remoteName)) {
        return SendResult::Failed;
    }
    const auto localSize = static_cast<std::uint64_t>(info.st_size);
    FtpReply reply;
    SendResult result = FtpCommand("TYPE I\r\n", reply);
    Socket data;
    if (result == SendResult::Ok) {
        result = startStore("STOR " + std::string(remoteName.substr(0, kMaxName)) + "\r\n", data);
    }
    bool sentAll = false;
    if (result == SendResult::Ok) {
        result = transfer(file.get(), localSize, data, sentAll);
    }
    // The closing alert tells a TLS server that the file ended here and was not cut off.
    if (result == SendResult::Ok) {
        CloseGracefully(m_task, data, m_timeouts.dataMs);
    }
    data.close();
    if (result != SendResult::Ok) {
        return result;
    }
    result = verifyStore(remoteName, localSize, sentAll);
    if (result != SendResult::Ok) {
        return result;
    }
    return setModificationTime(remoteName, localPath);
}

SendResult FtpConnection::FtpFeatures() {
    if (m_features.asked) {
        return SendResult::Ok;
    }
    FtpReply reply;
    std::vector<std::string> lines;
    const SendResult result = exchange("FEAT\r\n", reply, &lines);
    if (result != SendResult::Ok || !inRange(reply, 200, 399)) {
        m_features.size = true;
        return result == SendResult::Ok ? SendResult::Failed : result;
    }
    m_features.asked = true;
    for (const std::string& line : lines) {
        m_features.size = m_features.size || line.find("SIZE") != std::string::npos;
        m_features.mdtm = m_features.mdtm || line.find("MDTM") != std::string::npos;
        m_features.mfmt = m_features.mfmt || line.find("MFMT") != std::string::npos;
        m_features.mlsd = m_features.mlsd || line.find("MLSD") != std::string::npos;
        if (line.find("MLST") != std::string::npos) {
            const std::string facts = lowerCase(line);
            m_features.mlstSize = facts.find("size*") != std::string::npos;
            m_features.mlstModify = facts.find("modify*") != std::string::npos;
            m_features.mlstType = facts.find("type*") != std::string::npos;
        }
    }
    return SendResult::Ok;
}

SendResult FtpConnection::sizeByMlst(std::string_view remoteName, std::uint64_t& size,
                                     bool& found) {
    FtpReply reply;
    std::vector<std::string> lines;
    const SendResult result = exchange("MLST " + std::string(remoteName) + "\r\n", reply, &lines);
    if (result != SendResult::Ok) {
        return result;
    }
    if (inRange(reply, 200, 399)) {
        for (const std::string& line : lines) {
            if (readSizeFact(line, size)) {
                found = true;
                break;
            }
        }
    } else if (reply.code == 550) {
        size = 0;
        found = true;
    }
    return SendResult::Ok;
}

SendResult FtpConnection::sizeBySize(std::string_view remoteName, std::uint64_t& size,
                                     bool& found) {
    FtpReply reply;
    SendResult result = exchange("TYPE I\r\n", reply, nullptr);
    if (result != SendResult::Ok || reply.code != 200) {
        return result;
    }
    result = exchange("SIZE " + std::string(remoteName) + "\r\n", reply, nullptr);
    if (result == SendResult::Ok && reply.code == 213) {
        found = ReadWireNumber(reply.text, UINT64_MAX, size);
    }
    return result;
}

SendResult FtpConnection::listing(std::string_view command, std::string& data) {
    FtpReply reply;
    SendResult result = FtpCommand("TYPE A\r\n", reply);
    Socket channel;
    if (result == SendResult::Ok) {
        result = openDataConnection(channel);
    }
    if (result == SendResult::Ok) {
        result = exchange(command, reply, nullptr);
    }
    if (result != SendResult::Ok || !inRange(reply, 100, 199)) {
        return result == SendResult::Ok ? SendResult::Failed : result;
    }
    result = protectData(channel);
    if (result != SendResult::Ok) {
        return result;
    }
    char buffer[4096];
    for (;;) {
        std::size_t count = 0;
        result = ReceiveSome(m_task, channel, buffer, sizeof buffer, m_timeouts.listingMs, count);
        if (result == SendResult::Stopped) {
            return result;
        }
        if (result != SendResult::Ok) {
            break;
        }
        data.append(buffer, count);
    }
    channel.close();
    result = readReply(m_task, reply, nullptr);
    if (result != SendResult::Ok) {
        return result;
    }
    return inRange(reply, 200, 399) ? SendResult::Ok : SendResult::Failed;
}

SendResult FtpConnection::sizeByListing(std::string_view remoteName, bool machineListing,
                                        std::uint64_t& size, bool& found) {
    std::string data;
    const SendResult result =
        listing(machineListing ? "MLSD\r\n" : "LIST " + std::string(remoteName) + "*\r\n", data);
    if (result != SendResult::Ok) {
        return result;
    }
    for (const std::string& line : dataLines(data)) {
        FtpListingEntry entry;
        if (machineListing && machineListingName(line) == remoteName) {
            found = readSizeFact(line, size);
        } else if (!machineListing && ParseListingLine(line, entry) && entry.name == remoteName) {
            size = entry.size;
            found = true;
        }
        if (found) {
            break;
        }
    }
    return SendResult::Ok;
}

SendResult FtpConnection::FtpRemoteSize(std::string_view remoteName, std::uint64_t& size) {
    size = 0;
    if (hasLineBreak(remoteName)) {
        return SendResult::Failed;
    }
    if (FtpFeatures() == SendResult::Stopped) {
        return SendResult::Stopped;
    }
    bool found = false;
    SendResult result = SendResult::Ok;
    if (m_features.mlstSize) {
        result = sizeByMlst(remoteName, size, found);
    }
    if (result == SendResult::Ok && !found && m_features.size) {
        result = sizeBySize(remoteName, size, found);
    }
    if (result == SendResult::Ok && !found && m_features.mlsd) {
        result = sizeByListing(remoteName, true, size, found);
    }
    if (result == SendResult::Ok && !found && !m_features.mlsd) {
        result = sizeByListing(remoteName, false, size, found);
    }
    if (result == SendResult::Stopped) {
        return result;
    }
    return found ? SendResult::Ok : SendResult::Failed;
}

SendResult UploadRecordingByFtp(NetTask& task, const SettingsStore& settings,
                                const std::string& path, const FtpTimeouts& timeouts,
                                const StoredPassword* passwords,
                                std::function<void(std::string_view)> log) {
    FtpSecurity security;
    security.secure = settings.Read(setting::kFtpUseSsl);
    security.allowPlainPassword = settings.Read(setting::kFtpAllowPlainPassword);
    security.log = std::move(log);
    FtpConnection connection(task, timeouts, security);
    const std::string password = passwords != nullptr
                                     ? ReadFtpPassword(*passwords)
                                     : settings.ReadPlainPassword(setting::kFtpPassword);
    SendResult result = connection.FtpLogOn(settings.Read(setting::kFtpServer),
                                            settings.Read(setting::kFtpUserName), password);
    if (result == SendResult::Ok) {
        result = connection.FtpChangeDirectory(settings.Read(setting::kFtpDirectory));
    }
    if (result == SendResult::Ok) {
        result = connection.FtpUpload(lastComponent(path), path);
    }
    return result;
}

}  // namespace sonaro
