#!/usr/bin/env python3
"""Real SMTP (aiosmtpd) and FTP (pyftpdlib) servers for the network tests.

Listens on 127.0.0.1 with a port the system chooses, prints that port on the first line of
standard output, and serves until it is killed.

  net_servers.py smtp DIR [--auth USER:PASSWORD]
      Each accepted message is stored as DIR/<n>.eml (the data as received, dot-stuffing removed)
      and DIR/<n>.json (sender, recipients, the connection it came over, the AUTH login).
  net_servers.py ftp ROOT USER PASSWORD [--throttle BYTES_PER_SECOND]
      One user whose home is ROOT, with every permission (MFMT included); uploads are read no
      faster than the given rate when one is given.
"""
import asyncio
import itertools
import json
import os
import sys
import logging


def serve_smtp(folder, args):
    from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

    credentials = None
    if '--auth' in args:
        user, _, password = args[args.index('--auth') + 1].partition(':')
        credentials = (user.encode(), password.encode())
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
                    'login': login.decode() if isinstance(login, bytes) else None}
            with open(os.path.join(folder, f'{number}.json'), 'w') as out:
                json.dump(info, out)
            return '250 OK'

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (credentials is not None and isinstance(auth_data, LoginPassword)
              and (auth_data.login, auth_data.password) == credentials)
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    def factory():
        server = SMTP(Handler(), decode_data=False, enable_SMTPUTF8=True,
                      authenticator=authenticate if credentials else None,
                      auth_require_tls=False, data_size_limit=None)
        return server


    async def main():
        loop = asyncio.get_running_loop()

        def protocol():
            server = factory()
            number = next(connections)
            original = server.connection_made

            def made(transport):
                original(transport)
                server.session.connection_number = number
            server.connection_made = made
            return server

        listener = await loop.create_server(protocol, '127.0.0.1', 0)
        print(listener.sockets[0].getsockname()[1], flush=True)
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
    handler.authorizer = authorizer
    handler.banner = 'test server ready'
    handler.auth_failed_timeout = 0
    if '--throttle' in args:
        throttled = ThrottledDTPHandler
        throttled.read_limit = int(args[args.index('--throttle') + 1])
        handler.dtp_handler = throttled
    server = FTPServer(('127.0.0.1', 0), handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == '__main__':
    # aiosmtpd itself still sets the deprecated Session.login_data and logs about it.
    logging.getLogger('mail.log').setLevel(logging.ERROR)
    if sys.argv[1] == 'smtp':
        serve_smtp(sys.argv[2], sys.argv[3:])
    else:
        serve_ftp(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:])
