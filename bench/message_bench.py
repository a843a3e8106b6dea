#!/usr/bin/env python3
"""Corpus and reference timings for message_bench: 20,000 mixed-charset headers and a 1 MB
multipart message, made with Python's email package, and the time Python's email package
takes to read them the way the mail list and the viewer do.

Usage: message_bench.py FOLDER   (writes headers.bin, summaries.sjis, message.eml; prints timings)
"""
import base64
import codecs
import email
import random
import sys
import time
from email import policy
from email.header import Header, decode_header
from email.message import EmailMessage

SEED = 20261209
HEADERS = 20000

FOLD = str.maketrans({0x301C: 0xFF5E, 0x2014: 0x2015, 0x2016: 0x2225, 0x2212: 0xFF0D,
                      0xA2: 0xFFE0, 0xA3: 0xFFE1, 0xAC: 0xFFE2})
codecs.register_error('geta', lambda error: ('\u3013', error.end))
CODECS = {'shift_jis': 'cp932', 'iso-2022-jp': 'iso2022_jp_ext', 'iso-8859-1': 'cp1252', 'gb2312': 'gb18030',
          'eucgb2312_cn': 'gb18030', 'us-ascii': 'cp1252'}

JAPANESE = ['会議の議事録', 'お疲れ様です', '来週の打ち合わせについて', '見積書送付のお願い', '新製品のご案内',
            '請求書を添付いたします', '【重要】システム保守のお知らせ', '山田太郎', '佐藤花子', '株式会社サンプル商事',
            '年末年始の休業日について', 'パスワード変更のご案内', '第三四半期の売上報告', 'ご注文ありがとうございます']
LATIN = ['François Müller', 'José García', 'Renée Dupré', 'Jürgen Schröder', 'Crème brûlée à la carte']
CYRILLIC = ['Иван Петров', 'Отчёт за неделю', 'Привет из Москвы']
CHINESE = ['王小明', '会议通知', '明天的计划']
ASCII = ['Re: weekly report', 'Invoice #48213', 'Lunch on Friday?', '[announce] release 4.2.1', 'Build passed']
EMOJI = ['🎉 セール開催中', '写真送ります 📷', 'Thanks 👍']


def value(text, charset):
    if charset == 'raw-utf-8':
        return text
    if charset in ('shift_jis', 'euc-jp'):
        codec = 'cp932' if charset == 'shift_jis' else 'euc-jp'
        return '=?%s?B?%s?=' % (charset.upper(), base64.b64encode(text.encode(codec)).decode())
    return Header(text, charset).encode()


def make_header(rnd, n):
    kind = rnd.randrange(10)
    if kind < 3:
        charset, sender, subject = 'utf-8', rnd.choice(JAPANESE[7:10]), rnd.choice(JAPANESE + EMOJI)
    elif kind < 5:
        charset, sender, subject = 'iso-2022-jp', rnd.choice(JAPANESE[7:10]), rnd.choice(JAPANESE) + rnd.choice(JAPANESE)
    elif kind < 6:
        charset, sender, subject = rnd.choice(['shift_jis', 'euc-jp']), rnd.choice(JAPANESE[7:10]), rnd.choice(JAPANESE)
    elif kind < 7:
        charset, sender, subject = 'iso-8859-1', rnd.choice(LATIN), rnd.choice(LATIN)
    elif kind < 8:
        charset = rnd.choice(['koi8-r', 'gb2312'])
        words = CYRILLIC if charset == 'koi8-r' else CHINESE
        sender, subject = rnd.choice(words), rnd.choice(words)
    elif kind < 9:
        charset, sender, subject = 'us-ascii', 'Build Server', rnd.choice(ASCII)
    else:
        charset, sender, subject = 'raw-utf-8', rnd.choice(JAPANESE[7:10]), rnd.choice(JAPANESE)
    lines = [
        'Return-Path: <user%d@example.jp>' % n,
        'Received: from mail%d.example.jp (mail%d.example.jp [192.0.2.%d])\n\tby mx.example.jp with ESMTPS id %08x\n'
        '\tfor <you@example.jp>; Tue, 9 Dec 2025 10:%02d:00 +0900' % (n % 50, n % 50, n % 250, n, n % 60),
        'Date: Tue, 9 Dec 2025 10:%02d:00 +0900' % (n % 60),
        'From: %s <user%d@example.jp>' % (value(sender, charset), n),
        'To: you@example.jp',
        'Subject: %s' % value(subject, charset),
        'Message-ID: <%08x.%d@example.jp>' % (n * 2654435761 % 2**32, n),
        'MIME-Version: 1.0',
        'Content-Type: text/plain; charset=UTF-8',
        'Content-Transfer-Encoding: base64',
    ]
    return ('\r\n'.join(lines).replace('\n\t', '\r\n\t').replace('\r\r', '\r') + '\r\n\r\n').encode('utf-8')


def make_message(rnd):
    m = EmailMessage()
    m['From'] = '山田 太郎 <yamada@example.jp>'
    m['To'] = 'you@example.jp'
    m['Subject'] = '第三四半期の売上報告と資料一式'
    paragraphs = []
    while sum(len(p) for p in paragraphs) < 32000:
        paragraphs.append('、'.join(rnd.choice(JAPANESE) for _ in range(8)) + '。 Total %d.' % rnd.randrange(10**6))
    text = '\n'.join(paragraphs) + '\n'
    m.set_content(text, cte='quoted-printable')
    m.add_alternative('<html><body>' + ''.join('<p>%s</p>\n' % p for p in paragraphs) + '</body></html>',
                      subtype='html', cte='base64')
    m.add_attachment(bytes(rnd.randrange(256) for _ in range(390000)), maintype='application', subtype='pdf',
                     filename='売上報告書.pdf')
    m.add_attachment(bytes(rnd.randrange(256) for _ in range(60000)), maintype='image', subtype='png',
                     filename='graph.png')
    return m.as_bytes(policy=m.policy.clone(linesep='\r\n'))


def decoded(data, charset):
    if charset is None and not data.isascii():
        charset = 'utf-8'  # raw 8-bit header text, read as UTF-8 when it is
    charset = (charset or 'ascii').lower()
    return data.decode(CODECS.get(charset, charset), 'replace')


def chunk_text(chunk, charset):
    if isinstance(chunk, str):
        try:
            # Raw 8-bit text may come as a str that holds its bytes as surrogates.
            chunk = chunk.encode('ascii', 'surrogateescape')
        except UnicodeEncodeError:
            return chunk
    return decoded(chunk, charset)


def summary_compat32(header):
    # Read as text, so that raw UTF-8 header bytes arrive as the characters they stand for.
    message = email.message_from_string(header.decode('utf-8', 'surrogateescape'), policy=policy.compat32)
    parts = []
    for name, missing in (('From', '<unknown>'), ('Subject', '(No Subject)')):
        raw = message.get(name)
        if raw is None:
            parts.append(missing)
            continue
        raw = str(raw).replace('\r\n', '').replace('\n', '').strip()
        parts.append(''.join(chunk_text(c, cs) for c, cs in decode_header(raw)))
    return ' : '.join(parts).translate(FOLD).encode('cp932', 'geta')


def summary_default(header):
    message = email.message_from_bytes(header, policy=policy.default)
    sender = message['From']
    subject = message['Subject']
    line = '%s : %s' % ('<unknown>' if sender is None else sender, '(No Subject)' if subject is None else subject)
    return line.translate(FOLD).encode('cp932', 'geta')


def viewer_text(data):
    message = email.message_from_bytes(data, policy=policy.default)
    lines = ['%s: %s' % (k, v) for k, v in message.items()]
    body = message.get_body(preferencelist=('plain', 'html'))
    lines.append(body.get_content())
    for part in message.iter_attachments():
        lines.append('[添付ファイル] %s (%d バイト)' % (part.get_filename(), len(part.get_payload(decode=True))))
    return '\r\n'.join(lines).translate(FOLD).encode('cp932', 'geta')


def best(work, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    folder = sys.argv[1]
    rnd = random.Random(SEED)
    headers = [make_header(rnd, n) for n in range(HEADERS)]
    message = make_message(rnd)
    with open(folder + '/headers.bin', 'wb') as file:
        for header in headers:
            file.write(b'%d\n' % len(header) + header)
    with open(folder + '/summaries.sjis', 'wb') as file:
        for header in headers:
            file.write(summary_compat32(header) + b'\n')
    with open(folder + '/message.eml', 'wb') as file:
        file.write(message)
    compat32 = best(lambda: [summary_compat32(h) for h in headers], 3)
    default = best(lambda: [summary_default(h) for h in headers], 1)
    viewer = best(lambda: viewer_text(message), 5)
    print('python %s' % sys.version.split()[0])
    print('summaries_compat32 %.6f' % compat32)
    print('summaries_default %.6f' % default)
    print('viewer %.6f' % viewer)
    print('message_bytes %d' % len(message))


if __name__ == '__main__':
    main()
