#!/usr/bin/env python3
"""Reads a stored message with Python's own e-mail parser, so the tests check what a real mail
reader sees, not what our encoder meant.

  parse_mail.py MESSAGE OUTDIR
Prints "subject<TAB>...", "from<TAB>...", "to<TAB>..." and one "attachment<TAB>type<TAB>name" line
per attachment; writes the text part to OUTDIR/text and attachment n (from 0) to OUTDIR/<n>.
"""
import email
import email.policy
import os
import sys

with open(sys.argv[1], 'rb') as source:
    message = email.message_from_binary_file(source, policy=email.policy.default)
out = sys.argv[2]
print(f"subject\t{message['subject']}")
print(f"from\t{message['from']}")
print(f"to\t{message['to']}")
text = message.get_body(preferencelist=('plain',))
with open(os.path.join(out, 'text'), 'w', encoding='utf-8', newline='') as target:
    target.write(text.get_content() if text is not None else '')
for number, part in enumerate(message.iter_attachments()):
    print(f"attachment\t{part.get_content_type()}\t{part.get_filename()}")
    with open(os.path.join(out, str(number)), 'wb') as target:
        target.write(part.get_payload(decode=True))
