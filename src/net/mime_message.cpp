#include "net/mime_message.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <memory>

#include "net/base64.h"

namespace sonaro {
namespace {

constexpr std::string_view kMailer = "Sonaro Sound Recorder";
constexpr std::string_view kBoundaryPattern = "gc0p4Jq0M2Yt08jU534c";
constexpr int kBoundaryCount = 100;
constexpr std::size_t kMaxHeaderText = 259;
constexpr std::size_t kMaxEncodedWord = 75;
constexpr std::size_t kLineBreakAt = 700;
constexpr std::size_t kFlushBytes = 64 * 1024;
// Whole base64 lines: 57 source bytes each.
constexpr std::size_t kAttachmentChunk = 57 * 1150;

// Collects small pieces into larger sends; the bytes on the wire are the same.
class BufferedSink {
  public:
    BufferedSink(MessageSink& sink, int budgetMs) : m_sink(sink), m_budgetMs(budgetMs) {}

    SendResult append(std::string_view bytes) {
        m_buffer += bytes;
        return m_buffer.size() >= kFlushBytes ? flush() : SendResult::Ok;
    }
    SendResult flush() {
        if (m_buffer.empty()) {
            return SendResult::Ok;
        }
        const SendResult result = m_sink.Send(m_buffer, m_budgetMs);
        m_buffer.clear();
        return result;
    }

  private:
    MessageSink& m_sink;
    int m_budgetMs;
    std::string m_buffer;
};

// Every line break of the body as "\r\n": a bare "\n" or "\r" from a Linux text becomes one.
std::string normalizeLineBreaks(std::string_view body) {
    std::string out;
    out.reserve(body.size() + body.size() / 32);
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < body.size() && body[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

// A piece of at most 700 characters of an over-long line: up to and including its last blank
// (when that is not the first character), else all 700.
std::size_t breakLength(std::string_view line) {
    const std::size_t blank = line.substr(0, kLineBreakAt).rfind(' ');
    return blank != std::string_view::npos && blank != 0 ? blank + 1 : kLineBreakAt;
}

SendResult sendTextPart(std::string_view rawBody, const MimeOptions& options, MessageSink& sink) {
    BufferedSink out(sink, options.textBudgetMs);
    SendResult result = out.append("Content-Type: text/plain; charset=\"utf-8\"\r\n\r\n");
    const std::string body = normalizeLineBreaks(rawBody);
    std::string_view rest(body);
    while (result == SendResult::Ok && !rest.empty()) {
        if (options.dotStuff && rest.front() == '.') {
            result = out.append(".");
        }
        const std::size_t end = rest.find("\r\n");
        const std::size_t lineLength = end == std::string_view::npos ? rest.size() : end;
        std::size_t take = lineLength + (end == std::string_view::npos ? 0 : 2);
        std::string_view suffix;
        if (lineLength > kLineBreakAt) {
            take = breakLength(rest);
            suffix = "\r\n";
        }
        if (result == SendResult::Ok) {
            result = out.append(rest.substr(0, take));
        }
        if (result == SendResult::Ok) {
            result = out.append(suffix);
        }
        rest.remove_prefix(take);
    }
    return result == SendResult::Ok ? out.flush() : result;
}

std::string_view lastComponent(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A file name fit for a quoted header parameter: no line breaks, quotes and backslashes escaped.
std::string quotedName(std::string_view path) {
    std::string out;
    for (const char c : WithoutLineBreaks(lastComponent(path))) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct ProgressSpan {
    double start;
    double width;
};

// The file's bytes as base64 lines; an unreadable or empty file leaves the part empty.
SendResult sendAttachmentBytes(const std::string& path, ProgressSpan span, MessageSink& sink,
                               NetTask& task, int budgetMs) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    struct stat info {};
    if (!file || fstat(fileno(file.get()), &info) != 0 || info.st_size <= 0) {
        return SendResult::Ok;
    }
    const auto size = static_cast<double>(info.st_size);
    std::string chunk(kAttachmentChunk, '\0');
    std::string lines;
    double position = 0;
    int reportedPercent = -1;
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
        lines.clear();
        AppendBase64Lines(std::string_view(chunk.data(), got), lines);
        const SendResult result = sink.Send(lines, budgetMs);
        if (result != SendResult::Ok) {
            return result;
        }
        if (task.IsStopRequested()) {
            return SendResult::Stopped;
        }
        position += static_cast<double>(got);
        const double progress = span.start + position * span.width / size;
        if (static_cast<int>(progress * 100) != reportedPercent || position >= size) {
            reportedPercent = static_cast<int>(progress * 100);
            task.ReportProgress(progress);
        }
    }
    return SendResult::Ok;
}

SendResult sendAttachments(const MimeContent& content, const std::string& boundary,
                           const MimeOptions& options, MessageSink& sink, NetTask& task) {
    task.ReportProgress(0.3);
    task.ReportStatus("Sending Message Attachment(s)", 1);
    const double count = static_cast<double>(content.attachments.size());
    for (std::size_t i = 0; i < content.attachments.size(); ++i) {
        const std::string& path = content.attachments[i];
        const std::string name = quotedName(path);
        const std::string head = "\r\n--" + boundary +
                                 "\r\nContent-Type: " + std::string(AttachmentContentType(path)) +
                                 "; name=\"" + name +
                                 "\"\r\nContent-Transfer-Encoding: base64\r\n"
                                 "Content-Disposition: attachment; filename=\"" +
                                 name + "\"\r\n\r\n";
        SendResult result = sink.Send(head, options.headerBudgetMs);
        const ProgressSpan span{0.3 + 0.6 * static_cast<double>(i) / count, 0.6 / count};
        if (result == SendResult::Ok) {
            result = sendAttachmentBytes(path, span, sink, task, options.textBudgetMs);
        }
        if (result != SendResult::Ok) {
            return result;
        }
    }
    return sink.Send("\r\n--" + boundary + "--\r\n", options.headerBudgetMs);
}

// " <address>/software", or nothing when the address is unknown.
std::string mailerAddress(std::string_view address) {
    const std::string cleaned = WithoutLineBreaks(address);
    if (cleaned.empty()) {
        return {};
    }
    return " " + cleaned + (cleaned.back() == '/' ? "software" : "/software");
}

std::string headerBlock(const MimeContent& content, std::time_t now, const MimeOptions& options) {
    std::string block = "MIME-Version: 1.0\r\n";
    const std::string from = WithoutLineBreaks(content.from).substr(0, kMaxHeaderText);
    if (!from.empty()) {
        block += "From: " + from + "\r\n";
    }
    block += "To: " + WithoutLineBreaks(content.to).substr(0, kMaxHeaderText) + "\r\n";
    block += "Subject: " +
             EncodeSubject(WithoutLineBreaks(content.subject, " ").substr(0, kMaxHeaderText)) +
             "\r\n";
    block += "Date: " + FormatMailDate(now) + "\r\n";
    block += "X-Mailer: " + std::string(kMailer) + mailerAddress(options.makerWebAddress) + "\r\n";
    return block;
}

bool needsQuoting(unsigned char c) {
    return c >= 0x80 || c <= 0x20 || c == '?' || c == '_' || c == '=';
}

}  // namespace

SendResult WriteMimeMessage(const MimeContent& content, std::time_t now, const MimeOptions& options,
                            MessageSink& sink, NetTask& task) {
    task.ReportProgress(0.2);
    task.ReportStatus("Sending Message Text", 1);
    SendResult result = sink.Send(headerBlock(content, now, options), options.headerBudgetMs);
    if (result != SendResult::Ok) {
        return result;
    }
    if (content.attachments.empty()) {
        return sendTextPart(content.body, options, sink);
    }
    const std::string boundary = ChooseBoundary(content.body);
    result = sink.Send(
        "Content-Type: multipart/mixed; boundary=" + boundary + "\r\n\r\n--" + boundary + "\r\n",
        options.headerBudgetMs);
    if (result == SendResult::Ok) {
        result = sendTextPart(content.body, options, sink);
    }
    if (result != SendResult::Ok) {
        return result;
    }
    return sendAttachments(content, boundary, options, sink, task);
}

std::string FormatMailDate(std::time_t now) {
    static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed",
                                                         "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    localtime_r(&now, &local);
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%s, %.2d %s %d %.2d:%.2d:%.2d %c%.2ld%.2ld",
                  kDays[static_cast<std::size_t>(local.tm_wday)], local.tm_mday,
                  kMonths[static_cast<std::size_t>(local.tm_mon)], local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec, offsetMinutes < 0 ? '-' : '+',
                  magnitude / 60, magnitude % 60);
    return text.data();
}

std::string EncodeSubject(std::string_view subject) {
    bool plain = true;
    for (const char c : subject) {
        plain = plain && static_cast<unsigned char>(c) < 0x80;
    }
    if (plain) {
        return std::string(subject);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    constexpr std::string_view kOpen = "=?utf-8?q?";
    constexpr std::size_t kRoom = kMaxEncodedWord - kOpen.size() - 2;
    std::string out;
    std::string word;
    for (std::size_t i = 0; i < subject.size();) {
        // One whole UTF-8 character at a time, so no word ends inside one.
        std::size_t next = i + 1;
        while (next < subject.size() &&
               (static_cast<unsigned char>(subject[next]) & 0xC0) == 0x80) {
            ++next;
        }
        std::string encoded;
        for (const char c : subject.substr(i, next - i)) {
            const auto byte = static_cast<unsigned char>(c);
            if (needsQuoting(byte)) {
                encoded += {'=', kHex[byte >> 4], kHex[byte & 0x0F]};
            } else {
                encoded += c;
            }
        }
        if (!word.empty() && word.size() + encoded.size() > kRoom) {
            out += std::string(kOpen) + word + "?=\r\n ";
            word.clear();
        }
        word += encoded;
        i = next;
    }
    return out + std::string(kOpen) + word + "?=";
}

std::string ChooseBoundary(std::string_view body) {
    std::string boundary;
    for (int n = 0; n < kBoundaryCount; ++n) {
        boundary = std::string(kBoundaryPattern) + std::to_string(n);
        if (body.find(boundary) == std::string_view::npos) {
            break;
        }
    }
    return boundary;
}

std::string_view AttachmentContentType(std::string_view path) {
    const std::string_view name = lastComponent(path);
    const std::size_t dot = name.rfind('.');
    std::string extension;
    for (const char c : name.substr(dot == std::string_view::npos ? name.size() : dot)) {
        extension += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (extension == ".wav") {
        return "audio/wav";
    }
    return extension == ".mp3" ? "audio/mpeg" : "application/octet-stream";
}

std::string WithoutLineBreaks(std::string_view text, std::string_view replacement) {
    std::string out;
    bool inBreak = false;
    for (const char c : text) {
        const bool lineBreak = c == '\r' || c == '\n';
        if (lineBreak && !inBreak) {
            out += replacement;
        } else if (!lineBreak) {
            out += c;
        }
        inBreak = lineBreak;
    }
    return out;
}

}  // namespace sonaro
