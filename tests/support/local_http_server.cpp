#include "support/local_http_server.h"

#include <cstdlib>
#include <string_view>

namespace sonaro::test {
namespace {

constexpr std::string_view kServer = R"PY(
import http.server, os, sys, time

root = sys.argv[1]

class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=root, **kwargs)

    def log_message(self, *args):
        pass

    def do_GET(self):
        for prefix in ("/nolength/", "/hang/"):
            if self.path.startswith(prefix):
                return self.special(prefix, os.path.join(root, self.path[len(prefix):]))
        return super().do_GET()

    def special(self, prefix, path):
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        if prefix == "/hang/":
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if prefix == "/hang/":
            self.wfile.write(body[:4096])
            self.wfile.flush()
            time.sleep(120)
        else:
            self.wfile.write(body)
        self.close_connection = True

http.server.ThreadingHTTPServer.daemon_threads = True
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
)PY";

}  // namespace

LocalHttpServer::LocalHttpServer(const std::string& root) {
    SpawnOptions options;
    options.argv = {"python3", "-c", std::string(kServer), root};
    options.pipeStdout = true;
    if (!m_server.start(options)) {
        return;
    }
    std::string line;
    char c = 0;
    while (m_server.readOutput(&c, 1) == 1 && c != '\n') {
        line.push_back(c);
    }
    m_port = std::atoi(line.c_str());
}

std::string LocalHttpServer::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

}  // namespace sonaro::test
