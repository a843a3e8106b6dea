// The viewer text: header fields on one line each, then the body made readable. One table per
// decision (text parts, multiparts and attachments, HTML, attached messages, the old reading
// of messages without MIME fields, the POP3 transfer), broken messages in their own table.
// Compiled with the Shift_JIS execution character set.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ExpectRows.h"
#include "message/FlowedText.h"
#include "message/HtmlText.h"
#include "message/MessageText.h"

using namespace std::string_literals;

namespace {

// The viewer text of the message after its first empty line.
std::string ViewerBody(const std::string& message)
{
    const std::string text = ViewerText(message);
    const std::size_t empty = text.find("\r\n\r\n");
    return empty == std::string::npos ? "(no empty line) " + text : text.substr(empty + 4);
}

std::string Mime(const std::string& contentType, const std::string& encoding, const std::string& body)
{
    std::string message = "MIME-Version: 1.0\r\nContent-Type: " + contentType + "\r\n";
    if (!encoding.empty()) {
        message += "Content-Transfer-Encoding: " + encoding + "\r\n";
    }
    return message + "\r\n" + body;
}

// A multipart body of the given parts (each its own header, an empty line and its body).
std::string Multipart(const std::string& subtype, const std::vector<std::string>& parts)
{
    std::string message = "MIME-Version: 1.0\r\nContent-Type: multipart/" + subtype + "; boundary=\"b-" + subtype +
                          "\"\r\n\r\nThis is a preamble.\r\n";
    for (const std::string& part : parts) {
        message += "--b-" + subtype + "\r\n" + part + "\r\n";
    }
    return message + "--b-" + subtype + "--\r\nepilogue\r\n";
}

TEST(ViewerText, HeaderFieldsOnOneLineEachDecoded)
{
    EXPECT_EQ(ViewerText("From: =?utf-8?b?5bGx55Sw?= <y@example.jp>\r\nSubject: =?ISO-2022-JP?B?GyRCJUYbKEI=?=\r\n"
                         " =?ISO-2022-JP?B?GyRCJTklSBsoQg==?=\r\nX-Empty:\r\n\r\nhi\r\n"),
              "From: 山田 <y@example.jp>\r\nSubject: テスト\r\nX-Empty: \r\n\r\nhi\r\n");
}

TEST(ViewerText, TextPartsDecodedAndConverted)
{
    ExpectRows({
        {"base64 UTF-8", Mime("text/plain; charset=utf-8", "base64", "5pel5pys6Kqe\r\n44Gn44GZ\r\n"), "日本語です\r\n"},
        {"quoted-printable UTF-8 with a soft line break",
         Mime("text/plain; charset=\"UTF-8\"", "quoted-printable", "=E6=97=A5=\r\n=E6=9C=AC\r\nnext=3Dline\r\n"),
         "日本\r\nnext=line\r\n"},
        {"7bit ISO-2022-JP", Mime("text/plain; charset=ISO-2022-JP", "7bit", "\x1b$BF|K\\\x1b(B\r\n"), "日本\r\n"},
        {"8bit Shift_JIS", Mime("text/plain; charset=Shift_JIS", "8bit", "\x93\xfa\x96\x7b\r\n"), "日本\r\n"},
        {"EUC-JP", Mime("text/plain; charset=euc-jp", "8bit", "\xc6\xfc\xcb\xdc\r\n"), "日本\r\n"},
        {"Windows-1252 letters Shift_JIS lacks", Mime("text/plain; charset=iso-8859-1", "quoted-printable",
                                                        "Gr=FC=DFe\r\n"), "Gr〓〓e\r\n"},
        {"no charset, an ESC: ISO-2022-JP", Mime("text/plain", "", "\x1b$BF|\x1b(B\r\n"), "日\r\n"},
        {"no charset, valid UTF-8: UTF-8", Mime("text/plain", "8bit", "\xe6\x97\xa5\r\n"), "日\r\n"},
        {"no charset, anything else: kept as Shift_JIS", Mime("text/plain", "8bit", "\x93\xfa\r\n"), "日\r\n"},
        {"no Content-Type under MIME-Version: text/plain", "MIME-Version: 1.0\r\n\r\n\xe6\x97\xa5\r\n", "日\r\n"},
        {"ISO-2022-JP label on UTF-8 bytes", Mime("text/plain; charset=iso-2022-jp", "8bit", "\xe6\x97\xa5\r\n"),
         "日\r\n"},
        {"ISO-2022-JP label on Shift_JIS bytes", Mime("text/plain; charset=iso-2022-jp", "8bit", "\x93\xfa\r\n"),
         "日\r\n"},
        {"ISO-2022-JP label with _ on UTF-8 bytes", Mime("text/plain; charset=ISO_2022_JP", "8bit", "\xe6\x97\xa5"),
         "日\r\n"},
        {"EUC-KR label with _", Mime("text/plain; charset=euc_kr", "8bit", "\xec\xed"), "日\r\n"},
        {"unknown charset: the bytes decide", Mime("text/plain; charset=x-mac-foo", "8bit", "\xe6\x97\xa5\r\n"),
         "日\r\n"},
        {"junk transfer encoding is 7bit", Mime("text/plain; charset=utf-8", "7-bit", "=E6 plain\r\n"),
         "=E6 plain\r\n"},
        {"transfer encoding in capitals", Mime("text/plain; charset=utf-8", "BASE64", "5pel\r\n"), "日\r\n"},
        {"format=flowed lines joined", Mime("text/plain; charset=utf-8; format=flowed", "",
                                            "one \r\ntwo\r\n> quoted \r\n> more\r\n \r\nlast\r\n"),
         "one two\r\n> quoted more\r\n\r\nlast\r\n"},
        {"format=flowed with delsp=yes", Mime("text/plain; charset=utf-8; format=flowed; delsp=yes", "base64",
                                              "5pel5pysIAroqp4K"),
         "日本語\r\n"},
        {"line ends of LF alone become CR LF", Mime("text/plain", "", "a\nb\n"), "a\r\nb\r\n"},
        {"a last line without its line end gets one", Mime("text/plain", "", "a"), "a\r\n"},
    }, ViewerBody);
}

TEST(ViewerText, MultipartsAlternativesAndAttachments)
{
    const std::string plain = "Content-Type: text/plain; charset=utf-8\r\n\r\n\xe6\x97\xa5";
    const std::string html = "Content-Type: text/html; charset=utf-8\r\n\r\n<p>\xe6\x9c\xac</p>";
    const std::string pdf = "Content-Type: application/pdf\r\nContent-Transfer-Encoding: base64\r\n"
                            "Content-Disposition: attachment; filename*=utf-8''%E8%A6%8B%E7%A9%8D.pdf\r\n\r\n"
                            "JVBERi0xLjQK\r\nAAAA\r\n";
    ExpectRows({
        {"alternative: the text/plain part", Multipart("alternative", {html, plain}), "日\r\n"},
        {"alternative without text/plain: the HTML part as text",
         Multipart("alternative", {"Content-Type: text/calendar\r\n\r\nBEGIN:VCALENDAR", html}), "本\r\n"},
        {"alternative nested in mixed, then an attachment with an RFC 2231 name",
         Multipart("mixed", {Multipart("alternative", {plain, html}).substr(19), pdf}),
         "日\r\n\r\n[添付ファイル] 見積.pdf (12 バイト)\r\n"},
        {"mixed: inline text parts in order", Multipart("mixed", {plain, "Content-Type: text/plain\r\n\r\nsecond"}),
         "日\r\n\r\nsecond\r\n"},
        {"unknown multipart subtype is read as mixed", Multipart("x-unknown", {plain, pdf}),
         "日\r\n\r\n[添付ファイル] 見積.pdf (12 バイト)\r\n"},
        {"RFC 2231 continuations", Multipart("mixed", {"Content-Type: application/octet-stream\r\n"
                                                       "Content-Disposition: attachment;\r\n"
                                                       " filename*0*=utf-8''%E6%97%A5; filename*1=.txt\r\n\r\nabc"}),
         "[添付ファイル] 日.txt (3 バイト)\r\n"},
        {"encoded word inside a quoted name (Outlook)",
         Multipart("mixed", {"Content-Type: image/png; name=\"=?utf-8?B?5pel?=.png\"\r\n"
                             "Content-Transfer-Encoding: base64\r\n\r\niVBORw0KGgo="}),
         "[添付ファイル] 日.png (8 バイト)\r\n"},
        {"a nameless attachment goes by its type", Multipart("mixed", {"Content-Type: image/gif\r\n\r\nGIF89a"}),
         "[添付ファイル] image/gif (6 バイト)\r\n"},
        {"a text part sent as an attachment is named",
         Multipart("mixed", {"Content-Type: text/plain; name=a.txt\r\nContent-Disposition: attachment\r\n\r\nx"}),
         "[添付ファイル] a.txt (1 バイト)\r\n"},
        {"attachment lines in a row", Multipart("mixed", {plain, pdf, pdf}),
         "日\r\n\r\n[添付ファイル] 見積.pdf (12 バイト)\r\n[添付ファイル] 見積.pdf (12 バイト)\r\n"},
        {"related: the HTML root and its inline image",
         Multipart("related", {html, "Content-Type: image/png\r\nContent-Disposition: inline; filename=logo.png\r\n"
                                     "Content-Transfer-Encoding: base64\r\n\r\nAAAA"}),
         "本\r\n\r\n[添付ファイル] logo.png (3 バイト)\r\n"},
        {"a boundary line with blanks after it", Mime("multipart/mixed; boundary=xyz", "",
                                                      "--xyz  \r\n\r\none\r\n--xyz--\t\r\n"),
         "one\r\n"},
    }, ViewerBody);
}

TEST(ViewerText, AttachedMessagesShowSenderSubjectDateAndBody)
{
    const std::string attached = "From: =?utf-8?b?5bGx55Sw?= <y@example.jp>\r\nTo: t@example.jp\r\n"
                                 "Subject: =?utf-8?b?5pel?=\r\nDate: Mon, 1 Dec 2025 10:00:00 +0900\r\n"
                                 "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
                                 "Content-Transfer-Encoding: base64\r\n\r\n5pys\r\n";
    ExpectRows({
        {"message/rfc822 after a text part",
         Multipart("mixed", {"Content-Type: text/plain\r\n\r\nForwarded:", "Content-Type: message/rfc822\r\n\r\n" +
                                                                                  attached}),
         "Forwarded:\r\n\r\nFrom: 山田 <y@example.jp>\r\nSubject: 日\r\n"
         "Date: Mon, 1 Dec 2025 10:00:00 +0900\r\n\r\n本\r\n"},
        {"a digest's parts are messages", Multipart("digest", {"\r\n" + attached}),
         "From: 山田 <y@example.jp>\r\nSubject: 日\r\nDate: Mon, 1 Dec 2025 10:00:00 +0900\r\n\r\n本\r\n"},
        {"an attached message without MIME fields keeps the old reading",
         Multipart("mixed", {"Content-Type: message/rfc822\r\n\r\nSubject: old\r\n\r\n\x1b$BF|\x1b(B"}),
         "Subject: old\r\n\r\n日\r\n"},
    }, ViewerBody);
}

TEST(ViewerText, MessagesWithoutMimeFieldsKeepTheirOldReading)
{
    // Words are decoded in the body too, and JIS converted; a UTF-8 word stays as it came.
    EXPECT_EQ(ViewerText("From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?=\r\nSubject: hi\r\n\r\n"
                         "\x1b$BF|K\\8l\x1b(B\r\n=?us-ascii?q?in=20body?= and =?utf-8?b?eA==?=\r\n"),
              "From: 山田\r\nSubject: hi\r\n\r\n日本語\r\nin body and =?utf-8?b?eA==?=\r\n");
}

TEST(Pop3Transfer, DotStuffingIsUndoneAndTheEndLineDropped)
{
    ExpectRows({
        {"status line and end line dropped", "+OK 12 octets\r\nSubject: a\r\n\r\nb\r\n.\r\n", "Subject: a\r\n\r\nb\r\n"},
        {"a line sent as ..x is .x", "+OK\r\n\r\n..x\r\n...\r\n.\r\n", "\r\n.x\r\n..\r\n"},
        {"an empty message", "+OK\r\n.\r\n", ""},
        {"no status line end", "+OK", ""},
        {"end line missing", "+OK\r\nSubject: a\r\n", "Subject: a\r\n"},
        {"a dot inside a line stays", "+OK\r\na.b\r\n.\r\n", "a.b\r\n"},
    }, UnstuffedMessage);
}

TEST(HtmlText, TagsCommentsAndReferences)
{
    ExpectRows({
        {"head, style, script and comments dropped",
         "<html><head><title>T</title><style>p{}</style></head><body><script>x()</script><!-- c -->"
         "Hello</body></html>", "Hello\n"},
        {"line-ending tags", "a<br>b<br/>c<p>d</p>e<div>f</div><ul><li>g</li></ul><table><tr><td>h</td></tr></table>"
                             "<h2>i</h2>j", "a\nb\nc\nd\ne\nf\ng\nh\ni\nj\n"},
        {"other tags removed, attributes with > inside", "<a href=\"x>y\">link</a> <b>bold</b>", "link bold\n"},
        {"white space runs become one blank", "a \r\n\t  b", "a b\n"},
        {"runs of empty lines cut to one", "a<br><br><br><br>b", "a\n\nb\n"},
        {"named references", "&lt;&amp;&gt;&quot;&nbsp;x&copy;&hellip;", "<&>\" x〓…\n"},
        {"numeric references", "&#26085;&#x672C;&#X8A9E;", "日本語\n"},
        {"unknown references stay", "&bogus; &#xZZ; & x", "&bogus; &#xZZ; & x\n"},
        {"pre keeps its line breaks", "<pre>a\n  b</pre>", "a\n  b\n"},
        {"a < that starts no tag is text", "1 < 2", "1 < 2\n"},
        {"an unclosed tag ends the text", "a<b", "a\n"},
        {"an unclosed comment ends the text", "a<!-- b", "a\n"},
        {"a head left open ends at the body", "<head><title>t</title><body>x", "x\n"},
        {"each head left open ends at the next body", "<head>a<body>b<HEAD>c<Body>d", "bd\n"},
        {"only a head ends at the body: a script left open ends the text", "a<script>x<body>y", "a\n"},
        {"runs of < that start no tag are text", "<<< < <?x?> <", "<<< < <?x?> <\n"},
        {"& without a ; close behind is text", "&&& &amp and; &#26085", "&&& &amp and; &#26085\n"},
        {"a reference's ; at most 12 bytes after its &", "&#x00000672C;&#x000000672C;", "本&#x000000672C;\n"},
    }, HtmlToText);
    ExpectRows({
        {"meta charset", "<html><head><meta charset=\"Shift_JIS\">", "shift_jis"},
        {"meta http-equiv", "<meta http-equiv=Content-Type content=\"text/html; charset=euc-jp\">", "euc-jp"},
        {"charset= outside a meta element", "<p>charset=x</p>", ""},
    }, HtmlMetaCharset);
    EXPECT_EQ(ViewerBody(Mime("text/html", "8bit", "<meta charset=euc-jp><p>\xc6\xfc</p>")), "日\r\n");
}

TEST(FlowedText, SoftBreaksQuotesAndSignature)
{
    EXPECT_EQ(JoinFlowedLines("a \r\nb \r\n-- \r\nsig\r\n", false), "a b \n-- \nsig\n");
    EXPECT_EQ(JoinFlowedLines(" >not a quote\r\n>> deep \r\n>> er\r\n", false), ">not a quote\n>> deep er\n");
    EXPECT_EQ(JoinFlowedLines("ends soft \r\n", true), "ends soft\n");
    EXPECT_EQ(JoinFlowedLines("> soft \r\nunquoted", false), "> soft \nunquoted\n");
}

TEST(ViewerText, BrokenMessages)
{
    std::string deep = "x";
    for (int level = 0; level < 40; ++level) {
        deep = "Content-Type: multipart/mixed; boundary=L" + std::to_string(level) + "\r\n\r\n--L" +
               std::to_string(level) + "\r\n" + deep + "\r\n--L" + std::to_string(level) + "--\r\n";
    }
    ExpectRows({
        {"multipart without a boundary parameter: shown as text", Mime("multipart/mixed", "", "raw\r\n"),
         "raw\r\n"},
        {"boundary never found: shown as text", Mime("multipart/mixed; boundary=zz", "", "raw\r\n"), "raw\r\n"},
        {"closing delimiter missing: the last part runs to the end",
         Mime("multipart/mixed; boundary=b", "", "--b\r\n\r\none\r\n--b\r\n\r\ntwo\r\n"), "one\r\n\r\ntwo\r\n"},
        {"a longer boundary that begins with this one is no delimiter",
         Mime("multipart/mixed; boundary=b", "", "--b\r\n\r\none\r\n--bb\r\ntwo\r\n--b--\r\n"),
         "one\r\n--bb\r\ntwo\r\n"},
        {"two delimiters in a row enclose no part",
         Mime("multipart/mixed; boundary=b", "", "--b\r\n--b\r\n\r\none\r\n--b\r\n--b--\r\n"), "one\r\n"},
        {"a boundary in the RFC 2231 form", Mime("multipart/mixed; boundary*=us-ascii''b%2Dx", "",
                                                 "--b-x\r\n\r\none\r\n--b-x--\r\n"), "one\r\n"},
        {"base64 cut short", Mime("text/plain; charset=utf-8", "base64", "5pel5p"), "日〓\r\n"},
        {"zero bytes left out", Mime("text/plain", "base64", "YQBi"), "ab\r\n"},
        {"malformed Content-Type: text/plain", Mime("garbage", "", "x"), "x\r\n"},
        {"quoted-printable with a broken escape", Mime("text/plain", "quoted-printable", "a=ZZb=\r\nc=4"),
         "a=ZZbc=4\r\n"},
        {"a message of its header alone", "Subject: s\r\n", ""},
        {"lines shorter than a long boundary", Mime("multipart/mixed; boundary=" + std::string(90, 'b'), "",
                                                     "--" + std::string(90, 'b') + "\r\n\r\n-\r\n--b\r\n--" +
                                                         std::string(90, 'b') + "--\r\n"),
         "-\r\n--b\r\n"},
        {"a closing delimiter without its line end", Mime("multipart/mixed; boundary=b", "", "--b\r\n\r\none\r\n--b--"),
         "one\r\n"},
        {"a boundary with a line end in it is never found",
         Mime("multipart/mixed; boundary*=''a%0Ab", "", "--a\nb\n\none\n--a\nb--\n"),
         "--a\r\nb\r\n\r\none\r\n--a\r\nb--\r\n"},
        {"a UTF-8 part of bytes that are not UTF-8 and characters Shift_JIS lacks",
         Mime("text/plain; charset=utf-8", "8bit", "\xff\xfe\xed\x95\x9c\xe6\x97\xa5\xed\x95\x9c\xf0\x9f\x98\x80"),
         "〓〓〓日〓〓\r\n"},
    }, ViewerBody);
    // Nesting past the limit is named, not opened, and nothing deeper is read.
    const std::string text = ViewerText("MIME-Version: 1.0\r\n" + deep);
    EXPECT_NE(text.find("[添付ファイル] multipart/mixed ("), std::string::npos) << text;
    EXPECT_EQ(text.find("\r\nx\r\n"), std::string::npos);
    EXPECT_EQ(ViewerText(""), "");
    EXPECT_EQ(ViewerText("\r\n"), "");
}

}  // namespace
