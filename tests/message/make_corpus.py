#!/usr/bin/env python3
"""Writes the corpus of the message reading test: messages made by Python's email package in
the shapes today's senders use, and Python's own email test messages where the machine has
them. Each NAME.eml (CR LF line ends, as POP3 delivers it) gets a NAME.expected in Shift_JIS:
the summary line, then the first lines of the readable body, both as Python's email package
reads the message.

Usage: make_corpus.py OUTPUT_FOLDER
"""
import base64
import codecs
import html.parser
import os
import sys
from email import policy
from email.header import Header, decode_header
from email.message import EmailMessage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
import email

BODY_LINES = 8

# Python's own test messages whose bodies the two readers rightly read apart.
NOT_COMPARED = {
    'python-msg_15': 'a boundary reused inside its own part, which RFC 2046 forbids, splits differently',
    'python-msg_36': 'Python gives a message/external-body part no size',
    'python-msg_39': 'a boundary reused inside its own part, which RFC 2046 forbids, splits differently',
}

# The JIS forms of seven characters and their Windows forms, which CP932 encodes.
FOLD = str.maketrans({0x301C: 0xFF5E, 0x2014: 0x2015, 0x2016: 0x2225, 0x2212: 0xFF0D,
                      0xA2: 0xFFE0, 0xA3: 0xFFE1, 0xAC: 0xFFE2})
codecs.register_error('geta', lambda error: ('\u3013', error.end))


def shift_jis(text):
    return text.translate(FOLD).encode('cp932', 'geta')


# Labels read as the viewer reads them (the WHATWG Encoding Standard's choices, and every
# Shift_JIS label as CP932); Python's own codecs then decode.
CODECS = {'shift_jis': 'cp932', 'shift-jis': 'cp932', 'sjis': 'cp932', 'x-sjis': 'cp932', 'ms_kanji': 'cp932',
          'windows-31j': 'cp932', 'iso-2022-jp': 'iso2022_jp_ext', 'us-ascii': 'cp1252', 'iso-8859-1': 'cp1252',
          'latin1': 'cp1252', 'iso-8859-9': 'cp1254', 'gb2312': 'gb18030', 'gbk': 'gb18030', 'big5': 'big5hkscs',
          'euc-kr': 'cp949', 'ks_c_5601-1987': 'cp949'}


def decoded(data, charset):
    charset = (charset or '').lower()
    return data.decode(CODECS.get(charset, charset or 'ascii'), 'replace')


def decoded_header(value):
    """A header value unfolded and decoded by RFC 2047, as Python's decode_header reads it."""
    if value is None:
        return None
    value = str(value).replace('\r\n', '').replace('\n', '').strip(' \t')
    text = ''
    for chunk, charset in decode_header(value):
        if isinstance(chunk, bytes):
            try:
                text += decoded(chunk, charset)
            except LookupError:
                text += chunk.decode('utf-8', 'replace')
        else:
            text += chunk
    return text.replace('\r', ' ').replace('\n', ' ')


class HtmlText(html.parser.HTMLParser):
    """HTML as text by the viewer's rules, on Python's HTML parser."""
    BLOCKS = {'p', 'div', 'li', 'tr', 'h1', 'h2', 'h3', 'h4', 'h5', 'h6'}
    DROPPED = {'head', 'style', 'script', 'title'}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.text = ''
        self.dropped = 0
        self.pre = False

    def handle_starttag(self, tag, attrs):
        if tag in self.DROPPED:
            self.dropped += 1
        elif tag == 'br':
            self.text += '\n'
        elif tag == 'pre':
            self.pre = True
        elif tag in self.BLOCKS and self.text and not self.text.endswith('\n'):
            self.text += '\n'

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag in self.DROPPED:
            self.dropped -= 1

    def handle_endtag(self, tag):
        if tag in self.DROPPED:
            self.dropped = max(0, self.dropped - 1)
        elif tag == 'pre':
            self.pre = False
        elif tag in self.BLOCKS:
            self.text += '\n'

    def handle_data(self, data):
        if self.dropped:
            return
        if not self.pre:
            collapsed = ''
            for c in data:
                if c in ' \t\r\n\f':
                    if (self.text + collapsed) and not (self.text + collapsed)[-1] in ' \n':
                        collapsed += ' '
                else:
                    collapsed += ' ' if c == '\xa0' else c
            data = collapsed
        self.text += data.replace('\r', '')


def html_to_text(markup):
    parser = HtmlText()
    parser.feed(markup)
    parser.close()
    lines = []
    pending_empty = False
    for line in parser.text.split('\n'):
        line = line.rstrip(' ')
        if not line:
            pending_empty = bool(lines)
        else:
            if pending_empty:
                lines.append('')
            pending_empty = False
            lines.append(line)
    return lines


def is_attachment(part):
    return (part.get_content_disposition() or '') == 'attachment'


def text_lines(part):
    text = decoded(part.get_payload(decode=True) or b'', part.get_content_charset())
    if not text:
        return []
    if part.get_content_subtype() == 'html':
        return html_to_text(text)
    lines = text.replace('\r\n', '\n').split('\n')
    return lines[:-1] if text.endswith('\n') else lines


class Reader:
    """The readable body by the viewer's rules, with Python's parts, names and charsets."""

    def __init__(self):
        self.pieces = []  # (kind, lines)

    def add(self, kind, lines):
        self.pieces.append((kind, lines))

    def lines(self):
        result = []
        last = None
        for kind, lines in self.pieces:
            if last is not None and not (last == 'attachment' and kind == 'attachment'):
                result.append('')
            result.extend(lines)
            last = kind
        return result

    def message_body(self, message, depth):
        if 'MIME-Version' not in message and 'Content-Type' not in message:
            payload = message.get_payload(decode=False)
            if not isinstance(payload, str) or not payload.isascii():
                raise ValueError('not compared: old reading of 8-bit text')
            self.add('text', payload.replace('\r\n', '\n').rstrip('\n').split('\n') if payload else [])
            return
        self.part(message, True, depth)

    def part(self, part, as_text, depth):
        maintype = part.get_content_maintype()
        ctype = part.get_content_type()
        if maintype == 'multipart' and not part.is_multipart():
            # No boundary, or none found: the viewer shows the body as the text it is.
            self.add('text', text_lines(part))
        elif part.is_multipart() and maintype == 'multipart':
            children = part.get_payload()
            if part.get_content_subtype() == 'alternative':
                self.part(self.preferred(children), True, depth + 1)
            else:
                for child in children:
                    self.part(child, False, depth + 1)
        elif ctype in ('message/rfc822', 'message/global'):
            inner = part.get_payload(0)
            raw = dict((key.lower(), value) for key, value in reversed(inner.raw_items()))
            self.add('text', ['%s: %s' % (name, decoded_header(raw[name.lower()]))
                              for name in ('From', 'Subject', 'Date') if name.lower() in raw])
            self.message_body(inner, depth + 1)
        elif maintype == 'text' and (as_text or self.inline_text(part)):
            self.add('text', text_lines(part))
        else:
            name = part.get_filename() or ctype
            size = len(part.get_payload(decode=True) or b'')
            self.add('attachment', ['[添付ファイル] %s (%d バイト)' % (name, size)])

    @staticmethod
    def inline_text(part):
        if is_attachment(part):
            return False
        return part.get_content_subtype() in ('plain', 'html') or not part.get_filename()

    @staticmethod
    def preferred(children):
        for wanted in ('plain', 'html'):
            for child in children:
                if child.get_content_type() == 'text/' + wanted and not is_attachment(child):
                    return child
        for child in children:
            if child.get_content_maintype() == 'multipart':
                return child
        return children[0]


def expected(name, data):
    message = email.message_from_bytes(data, policy=policy.default)
    raw = email.message_from_bytes(data, policy=policy.compat32)
    sender = decoded_header(raw['From'])
    subject = decoded_header(raw['Subject'])
    summary = '%s : %s' % ('<unknown>' if sender is None else sender,
                           '(No Subject)' if subject is None else subject)
    reader = Reader()
    if name in NOT_COMPARED:
        return b'\r\n'.join([shift_jis(summary), b'(not compared: ' + NOT_COMPARED[name].encode() + b')']) + b'\r\n'
    try:
        reader.message_body(message, 0)
        body = reader.lines()[:BODY_LINES]
    except Exception as error:  # a message Python itself cannot read: the summary alone
        body = ['(not compared: %s)' % type(error).__name__]
    return b'\r\n'.join(shift_jis(line) for line in [summary] + body) + b'\r\n'


def crlf(data):
    return data.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')


def made(message):
    return crlf(message.as_bytes(policy=message.policy.clone(linesep='\r\n')))


def word(text, charset, codec=None, encoding='B'):
    data = text.encode(codec or charset)
    if encoding == 'B':
        return '=?%s?B?%s?=' % (charset, base64.b64encode(data).decode())
    return '=?%s?Q?%s?=' % (charset, ''.join('=%02X' % b if b > 127 or b in b'=?_ ' else chr(b) for b in data))


def raw_message(sender, subject, content_type, encoding, body):
    header = ('From: %s\nTo: you@example.jp\nSubject: %s\nMIME-Version: 1.0\nContent-Type: %s\n'
              'Content-Transfer-Encoding: %s\n\n' % (sender, subject, content_type, encoding))
    return crlf(header.encode('ascii') + body)


def email_message(fields, text, **options):
    m = EmailMessage()
    for name, value in fields:
        m[name] = value
    m.set_content(text, **options)
    return m


# Single-part messages of one charset as Python's MIMEText and Header encode them: name,
# charset, sender, address, subject, text.
MIME_TEXT_SHAPES = [
    ('outlook-iso-2022-jp-folded', 'iso-2022-jp', '佐藤 一郎', 'sato@example.co.jp',
     'Re: 【見積書送付】第三四半期の保守契約更新に関する見積書の送付について',
     'お世話になっております。\n佐藤です。\n\n見積書を送付いたします。\nご確認ください。\n'),
    ('european-latin1', 'iso-8859-1', 'François Müller', 'fm@example.fr',
     'Réunion - compte rendu (§ 3, 20 °C, ±5, 10 £)', 'Bonjour,\n\nvoici le compte rendu de la réunion.\n\nFrançois\n'),
    ('cyrillic-koi8-r', 'koi8-r', 'Иван Петров', 'x@example.org', 'Отчёт за неделю', 'Привет!\nОтчёт во вложении.\n'),
    ('greek-iso-8859-7', 'iso-8859-7', 'Νίκος', 'x@example.org', 'Συνάντηση αύριο', 'Γεια σου!\n'),
    ('polish-iso-8859-2', 'iso-8859-2', 'Łukasz', 'x@example.org', 'Zażółć gęślą jaźń', 'Dzień dobry\n'),
    ('chinese-gb2312', 'gb2312', '王小明', 'x@example.org', '会议通知', '大家好：\n明天开会。\n'),
    ('chinese-big5', 'big5', '陳大文', 'x@example.org', '會議通知', '大家好\n'),
    ('korean-euc-kr', 'euc-kr', '김철수', 'x@example.org', '회의 日程 안내', '안녕하세요\n'),
    ('windows-1252', 'windows-1252', 'Zoë “Z” Smith', 'x@example.org', 'Price: €10 – “special”', 'Thanks — Zoë\n'),
]


def shapes():
    """Messages in the shapes today's senders use, made by Python's encoder."""
    out = {}

    m = email_message([('From', '山田 太郎 <yamada@example.jp>'), ('To', 'you@example.jp'),
                       ('Subject', '【重要】来週の打ち合わせの日程と会議室の予約についてのご相談（第二回）')],
                      '山田です。\n\n来週の打ち合わせは水曜日の午後三時からでいかがでしょうか。\n会議室は〜三階です。\n', cte='base64')
    m.add_alternative('<html><body><p>山田です。</p><p>来週の打ち合わせは水曜日です。</p></body></html>', subtype='html')
    out['webmail-utf8-alternative'] = made(m)

    out['phone-utf8-quoted-printable'] = made(email_message(
        [('From', 'Hanako <hanako@example.ne.jp>'), ('Subject', '写真送ります 😀📷 ～今日の夕焼け～')],
        '今日の夕焼けです😀\nきれいでした！\n', cte='quoted-printable'))

    for name, charset, sender, address, subject, text in MIME_TEXT_SHAPES:
        m = MIMEText(text, 'plain', charset)
        m['From'] = Header(sender, charset).encode() + ' <%s>' % address
        m['Subject'] = Header(subject, charset)
        m['MIME-Version'] = '1.0'
        out[name] = crlf(m.as_bytes())

    # Shift_JIS as Japanese mailers send it (the CP932 repertoire under the Shift_JIS label),
    # and EUC-JP, which Python's own charset table would turn into ISO-2022-JP.
    out['shift-jis'] = raw_message(
        word('鈴木', 'Shift_JIS', 'cp932') + ' <suzuki@example.jp>',
        word('表計算ソフトの資料（ソ・表・能）①', 'Shift_JIS', 'cp932'),
        'text/plain; charset=Shift_JIS', '8bit', '鈴木です。\n表計算ソフトの資料です。\n①②③ ㈱ ～\n'.encode('cp932'))
    out['euc-jp'] = raw_message(
        word('高橋 美咲', 'EUC-JP', 'euc-jp') + ' <takahashi@example.jp>', word('経費精算の締め切り', 'EUC-JP', 'euc-jp'),
        'text/plain; charset=EUC-JP', 'base64',
        base64.encodebytes('高橋です。\n経費精算の締め切りは月末です。\n'.encode('euc-jp')))

    out['html-newsletter'] = made(email_message(
        [('From', 'Example Shop <news@shop.example.com>'), ('Subject', '12月のお得な情報 &amp; セール')],
        '<!DOCTYPE html><html><head><title>News</title><style>p {color: red}</style></head>'
        '<body><!-- tracking --><h1>12月のニュース</h1><div>新商品のご案内&nbsp;&amp;&nbsp;セール</div>'
        '<table><tr><td>商品A</td><td>&yen;1,000</td></tr><tr><td>商品B &lt;限定&gt;</td></tr></table>'
        '<p>詳しくは<a href="https://shop.example.com/?a=1&amp;b=2">こちら</a>。<br>配信停止は&#12371;&#x3061;&#x3089;'
        '</p><script>track()</script></body></html>', subtype='html', cte='quoted-printable'))

    m = email_message([('From', 'Tanaka <tanaka@example.jp>'), ('Subject', '資料を添付します')],
                      '田中です。\n資料を二つ添付します。\n')
    m.add_attachment(b'%PDF-1.4\n' + bytes(range(256)) * 20, maintype='application', subtype='pdf',
                     filename='第三四半期の売上報告書と来期の見通しについての資料（社外秘）.pdf')
    m.add_attachment('列1,列2\n1,2\n'.encode('utf-8'), maintype='text', subtype='csv', filename='数値.csv')
    m.add_attachment(b'GIF89a' + bytes(100), maintype='image', subtype='gif', filename='photo.gif')
    out['attachments-rfc2231'] = made(m)

    m = email_message([('From', 'Watanabe <watanabe@example.jp>'), ('Subject', 'Fwd: 忘年会のご案内')], '転送します。\n')
    m.add_attachment(email_message([('From', '伊藤 <ito@example.jp>'), ('Subject', '忘年会のご案内'),
                                    ('Date', 'Mon, 01 Dec 2025 10:00:00 +0900')], '伊藤です。\n今年も忘年会を開きます。\n'))
    out['forwarded-rfc822'] = made(m)

    m = MIMEMultipart('mixed')
    m['From'] = Header('渡辺 健', 'utf-8').encode() + ' <watanabe@example.jp>'
    m['Subject'] = Header('Outlook形式の添付ファイル名', 'utf-8')
    m.attach(MIMEText('本文です。\n', 'plain', 'utf-8'))
    attachment = MIMEText('a,b\n', 'plain', 'utf-8')
    name = Header('請求書.xlsx', 'utf-8').encode()
    attachment.replace_header('Content-Type', 'application/octet-stream; name="%s"' % name)
    attachment['Content-Disposition'] = 'attachment; filename="%s"' % name
    m.attach(attachment)
    out['outlook-encoded-word-names'] = crlf(m.as_bytes())
    return out


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    messages = shapes()
    try:
        import test.test_email
        data = os.path.join(os.path.dirname(test.test_email.__file__), 'data')
    except ImportError:
        data = '/usr/lib/python3.11/test/test_email/data'
    if os.path.isdir(data):
        for name in sorted(os.listdir(data)):
            if name.startswith('msg_') and name.endswith('.txt'):
                with open(os.path.join(data, name), 'rb') as file:
                    messages['python-' + name[:-4]] = crlf(file.read())
    for name, data in messages.items():
        with open(os.path.join(folder, name + '.eml'), 'wb') as file:
            file.write(data)
        with open(os.path.join(folder, name + '.expected'), 'wb') as file:
            file.write(expected(name, data))
    print(len(messages))


if __name__ == '__main__':
    main()
