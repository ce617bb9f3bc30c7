#!/usr/bin/env python3
"""Real SMTP (aiosmtpd) and FTP (pyftpdlib) servers for the network tests.

Listens on 127.0.0.1 with a port the system chooses, prints that port on the first line of
standard output, and serves until it is killed.

  net_servers.py smtp DIR [--auth USER:PASSWORD] [--tls CERT KEY [--implicit]] [--wire FILE]
      Each accepted message is stored as DIR/<n>.eml (the data as received, dot-stuffing removed)
      and DIR/<n>.json (sender, recipients, the connection it came over, the AUTH login, whether
      it was encrypted). With --tls the server offers STARTTLS and requires it before AUTH and
      MAIL; with --implicit as well, every connection is TLS from its first byte instead.
  net_servers.py ftp ROOT USER PASSWORD [--throttle BYTES_PER_SECOND] [--tls CERT KEY] [--wire FILE]
      One user whose home is ROOT, with every permission (MFMT included); uploads are read no
      faster than the given rate when one is given. With --tls the server requires AUTH TLS
      before USER and PROT P before any transfer.
  net_servers.py lines CERT KEY
      TLS from the first byte: sends "one\r\ntwo\r\nthree" in one write, then answers each
      line received with "echo: " and the line; "bye" closes the connection.
  net_servers.py http ROOT
      The files of ROOT; "/nolength/<file>" is sent without a content length, "/hang/<file>"
      stops after its first 4096 bytes and keeps the connection open.

--wire FILE puts a relay in front of the server: the port printed is the relay's, and every byte
the clients send is appended to FILE as it crossed the wire (plain text before TLS starts,
ciphertext after).
"""
import asyncio
import itertools
import json
import os
import queue
import sys
import logging
import threading


def option(args, name, count=1):
    if name not in args:
        return None
    at = args.index(name)
    values = args[at + 1:at + 1 + count]
    return values[0] if count == 1 else values


def server_tls_context(args):
    files = option(args, '--tls', 2)
    if files is None:
        return None
    import ssl
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(files[0], files[1])
    return context


def start_relay(target, wire):
    """Serves a relay to 127.0.0.1:target on a thread of its own; returns the relay's port."""
    ports = queue.Queue()

    async def pump(source, sink, record):
        try:
            while True:
                data = await source.read(65536)
                if not data:
                    break
                if record:
                    with open(wire, 'ab') as out:
                        out.write(data)
                sink.write(data)
                await sink.drain()
        except (ConnectionError, OSError):
            pass
        finally:
            sink.close()

    async def connection(reader, writer):
        try:
            upstream_reader, upstream_writer = await asyncio.open_connection('127.0.0.1', target)
        except OSError:
            writer.close()
            return
        await asyncio.gather(pump(reader, upstream_writer, True),
                             pump(upstream_reader, writer, False))

    async def main():
        listener = await asyncio.start_server(connection, '127.0.0.1', 0)
        ports.put(listener.sockets[0].getsockname()[1])
        await listener.serve_forever()

    threading.Thread(target=lambda: asyncio.run(main()), daemon=True).start()
    return ports.get()


def announce(port, args):
    wire = option(args, '--wire')
    print(start_relay(port, wire) if wire else port, flush=True)


def serve_smtp(folder, args):
    from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

    auth = option(args, '--auth')
    credentials = tuple(part.encode() for part in auth.split(':', 1)) if auth else None
    numbers = itertools.count(1)
    connections = itertools.count(1)

    class Handler:
        async def handle_DATA(self, server, session, envelope):
            number = next(numbers)
            auth = getattr(session, 'auth_data', None)
            login = auth.login if isinstance(auth, LoginPassword) else None
            with open(os.path.join(folder, f'{number}.eml'), 'wb') as out:
                out.write(envelope.content)
            info = {'from': envelope.mail_from, 'to': envelope.rcpt_tos,
                    'connection': session.connection_number,
                    'login': login.decode() if isinstance(login, bytes) else None,
                    'tls': server.transport.get_extra_info('ssl_object') is not None}
            with open(os.path.join(folder, f'{number}.json'), 'w') as out:
                json.dump(info, out)
            return '250 OK'

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (credentials is not None and isinstance(auth_data, LoginPassword)
              and (auth_data.login, auth_data.password) == credentials)
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    context = server_tls_context(args)
    implicit = context is not None and '--implicit' in args
    starttls = context if context is not None and not implicit else None

    async def main():
        loop = asyncio.get_running_loop()

        def protocol():
            server = SMTP(Handler(), decode_data=False, enable_SMTPUTF8=True,
                          authenticator=authenticate if credentials else None,
                          tls_context=starttls, require_starttls=starttls is not None,
                          auth_require_tls=starttls is not None, data_size_limit=None)
            number = next(connections)
            original = server.connection_made

            def made(transport):
                original(transport)
                server.session.connection_number = number
            server.connection_made = made
            return server

        listener = await loop.create_server(protocol, '127.0.0.1', 0,
                                            ssl=context if implicit else None)
        announce(listener.sockets[0].getsockname()[1], args)
        await listener.serve_forever()

    asyncio.run(main())


def serve_ftp(root, user, password, args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer
    logging.disable(logging.CRITICAL)

    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm='elradfmwMT')
    handler = FTPHandler
    files = option(args, '--tls', 2)
    if files is not None:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

        class DataHandler(TLS_DTPHandler):
            # pyftpdlib closes a data connection that turns readable before the transfer
            # command; clients that start TLS on it right after connecting (curl) need the
            # handshake served first.
            def readable(self):
                if self._ssl_accepting or self._ssl_want_read:
                    return True
                if self._ssl_established and not self.receive and not self._initialized:
                    return False
                return super().readable()

        handler = TLS_FTPHandler
        handler.dtp_handler = DataHandler
        handler.certfile, handler.keyfile = files
        handler.tls_control_required = True
        handler.tls_data_required = True
    handler.authorizer = authorizer
    handler.banner = 'test server ready'
    handler.auth_failed_timeout = 0
    if '--throttle' in args:
        handler.dtp_handler = ThrottledDTPHandler
        ThrottledDTPHandler.read_limit = int(option(args, '--throttle'))
    server = FTPServer(('127.0.0.1', 0), handler)
    announce(server.socket.getsockname()[1], args)
    server.serve_forever()


def serve_lines(args):
    context = server_tls_context(['--tls'] + args)

    async def connection(reader, writer):
        writer.write(b'one\r\ntwo\r\nthree')
        try:
            while line := await reader.readline():
                if line == b'bye\r\n':
                    break
                writer.write(b'echo: ' + line)
                await writer.drain()
        except (ConnectionError, OSError):
            pass
        writer.close()

    async def main():
        listener = await asyncio.start_server(connection, '127.0.0.1', 0, ssl=context,
                                              limit=1 << 20)
        print(listener.sockets[0].getsockname()[1], flush=True)
        await listener.serve_forever()

    asyncio.run(main())


def serve_http(root):
    import http.server
    import time

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=root, **kwargs)

        def log_message(self, *args):
            pass

        def do_GET(self):
            prefix, _, name = self.path[1:].partition('/')
            if prefix not in ('nolength', 'hang'):
                return super().do_GET()
            with open(os.path.join(root, name), 'rb') as source:
                body = source.read()
            self.send_response(200)
            if prefix == 'hang':
                self.send_header('Content-Length', str(len(body)))
            self.end_headers()
            self.wfile.write(body[:4096] if prefix == 'hang' else body)
            self.wfile.flush()
            if prefix == 'hang':
                time.sleep(120)
            self.close_connection = True

    http.server.ThreadingHTTPServer.daemon_threads = True
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == '__main__':
    # aiosmtpd itself still sets the deprecated Session.login_data and logs about it.
    logging.getLogger('mail.log').setLevel(logging.ERROR)
    if sys.argv[1] == 'smtp':
        serve_smtp(sys.argv[2], sys.argv[3:])
    elif sys.argv[1] == 'lines':
        serve_lines(sys.argv[2:])
    elif sys.argv[1] == 'http':
        serve_http(sys.argv[2])
    else:
        serve_ftp(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:])
