// Speed of the header text decoders: ConvertJisToSjis(DecodeEncodedWords(x)) on generated
// header lines and a 1 MB ISO-2022-JP body, beside glibc's iconv (ISO-2022-JP to CP932) on
// the same raw JIS text, in the same run. Usage: decode_bench [--write-lines FILE]
// (the option also writes the header lines, one per line, for outside comparisons).
#include "BenchTiming.h"
#include "decode/EncodedWord.h"
#include "decode/JisToSjis.h"

#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kSeed = 20261209;
constexpr int kHeaderLines = 20000;
constexpr std::size_t kBodyBytes = 1 << 20;

// Real Japanese as it appears in senders and subjects; all of it lies in JIS X 0208.
const char* const kPhrases[] = {
    "会議の議事録",       "お疲れ様です",         "来週の打ち合わせについて", "見積書送付のお願い",
    "新製品のご案内",     "請求書を添付いたします", "【重要】システム保守のお知らせ", "山田太郎",
    "佐藤花子",           "株式会社サンプル商事", "営業部",                   "ご確認ください",
    "よろしくお願いいたします", "東京都千代田区",   "本日の予定",               "申し訳ございません",
    "明日の件",           "経費精算の締め切り",   "年末年始の休業日について", "鈴木一郎",
    "人事部からのお知らせ", "ログイン通知",       "パスワード変更のご案内",   "第三四半期の売上報告",
    "同窓会のご案内",     "出張報告書",           "アンケートご協力のお願い", "高橋美咲",
    "発送完了のお知らせ", "ご注文ありがとうございます", "開発進捗",         "田中研究室",
};

const char* const kAsciiSubjects[] = {
    "Re: weekly report", "Meeting minutes 2026-11-30", "Fwd: build failed on main", "Invoice #48213",
    "Lunch on Friday?",  "[announce] release 4.2.1",   "Your order has shipped",    "Re: Re: question",
};

const char* const kLatinNames[] = {
    "Fran=E7ois_M=FCller", "Jos=E9_Garc=EDa", "Ren=E9e_Dupr=E9", "J=FCrgen_Schr=F6der",
    "Caf=E9_cr=E8me",      "Se=F1or_N=FA=F1ez", "Bj=F6rk_=C5str=F6m", "Fa=E7ade_d=E9j=E0_vu",
};

class Random {
public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}
    // The engine's raw numbers are the same everywhere; the standard distributions are not.
    std::size_t Below(std::size_t bound) { return engine_() % bound; }

private:
    std::mt19937 engine_;
};

template <std::size_t N>
const char* Pick(Random& random, const char* const (&list)[N])
{
    return list[random.Below(N)];
}

// UTF-8 to ISO-2022-JP with iconv, ending in ASCII as mail text does.
std::string ToJis(const std::string& utf8)
{
    iconv_t converter = iconv_open("ISO-2022-JP", "UTF-8");
    std::string input = utf8;
    std::string output(utf8.size() * 3 + 16, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv(converter, nullptr, nullptr, &out, &outLeft);
    iconv_close(converter);
    output.resize(output.size() - outLeft);
    return output;
}

std::string ToBase64(const std::string& bytes)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = (group << 8) | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            text += k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
        }
    }
    return text;
}

// The quoted-printable text with its =XX escapes resolved, 8-bit letters as '?': the form of
// the same line that an ISO-2022-JP converter can take.
std::string QuotedPrintableAsJis(const std::string& quoted)
{
    std::string text;
    for (std::size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == '=') {
            text += '?';
            i += 2;
        } else {
            text += quoted[i];
        }
    }
    return text;
}

struct HeaderLine {
    std::string encoded;  // as it stands in the header
    std::string rawJis;   // the same text as raw 7-bit JIS, for iconv
};

std::vector<HeaderLine> MakeHeaderLines(Random& random)
{
    std::vector<HeaderLine> lines;
    lines.reserve(kHeaderLines);
    for (int n = 0; n < kHeaderLines; ++n) {
        HeaderLine line;
        const std::size_t kind = random.Below(10);
        if (kind < 4) {
            // One to three ISO-2022-JP words, folded or separated by a space, after ASCII.
            const bool isSubject = random.Below(2) == 0;
            line.encoded = line.rawJis = isSubject ? (random.Below(3) == 0 ? "Subject: Re: " : "Subject: ") : "From: ";
            const std::size_t words = 1 + random.Below(3);
            for (std::size_t w = 0; w < words; ++w) {
                const std::string jis = ToJis(Pick(random, kPhrases));
                if (w > 0) {
                    const char* gap = random.Below(2) == 0 ? "\r\n " : " ";
                    line.encoded += gap;
                    line.rawJis += gap;
                }
                line.encoded += (random.Below(4) == 0 ? "=?iso-2022-jp?B?" : "=?ISO-2022-JP?B?") + ToBase64(jis) + "?=";
                line.rawJis += jis;
            }
            if (!isSubject) {
                line.encoded += " <user" + std::to_string(random.Below(10000)) + "@example.co.jp>";
                line.rawJis += line.encoded.substr(line.encoded.rfind(" <"));
            }
        } else if (kind < 6) {
            line.encoded = line.rawJis = std::string("Subject: ") + Pick(random, kAsciiSubjects);
        } else if (kind < 8) {
            const std::string quoted = Pick(random, kLatinNames);
            line.encoded = "From: =?iso-8859-1?Q?" + quoted + "?= <someone@example.org>";
            line.rawJis = "From: " + QuotedPrintableAsJis(quoted) + " <someone@example.org>";
        } else {
            line.encoded = line.rawJis = "Subject: " + ToJis(std::string(Pick(random, kPhrases)) + " " +
                                                             Pick(random, kPhrases));
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// Lines of Japanese prose with ASCII words between, CR LF line ends, up to 1 MB.
std::string MakeBody(Random& random)
{
    std::string body;
    while (body.size() < kBodyBytes) {
        std::string utf8;
        const std::size_t parts = 2 + random.Below(4);
        for (std::size_t p = 0; p < parts; ++p) {
            utf8 += Pick(random, kPhrases);
            utf8 += random.Below(3) == 0 ? "。" : "、";
            if (random.Below(5) == 0) {
                utf8 += " ID " + std::to_string(random.Below(100000)) + " ";
            }
        }
        body += ToJis(utf8) + "\r\n";
    }
    body.resize(body.rfind("\r\n", kBodyBytes - 2) + 2);
    return body;
}

class IconvToCp932 {
public:
    IconvToCp932() : converter_(iconv_open("CP932", "ISO-2022-JP")), output_(4 * kBodyBytes) {}
    ~IconvToCp932() { iconv_close(converter_); }
    IconvToCp932(const IconvToCp932&) = delete;
    IconvToCp932& operator=(const IconvToCp932&) = delete;

    // Converts into a reusable area, so that iconv is timed without any allocation.
    std::size_t Convert(const std::string& jis)
    {
        iconv(converter_, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(jis.data());
        std::size_t inLeft = jis.size();
        char* out = output_.data();
        std::size_t outLeft = output_.size();
        if (iconv(converter_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            ++failures_;
        }
        return output_.size() - outLeft;
    }
    std::string Last(std::size_t size) const { return std::string(output_.data(), size); }
    std::size_t failures() const { return failures_; }

private:
    iconv_t converter_;
    std::vector<char> output_;
    std::size_t failures_ = 0;
};

std::size_t g_sink = 0;

void Report(const char* what, std::size_t bytes, double seconds, double reference = 0)
{
    const double megabytesPerSecond = static_cast<double>(bytes) / seconds / 1e6;
    std::printf("  %-46s %9zu bytes %10.1f MB/s", what, bytes, megabytesPerSecond);
    if (reference > 0) {
        std::printf("   %5.2fx iconv", megabytesPerSecond / reference);
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    Random random(kSeed);
    const std::vector<HeaderLine> lines = MakeHeaderLines(random);
    const std::string body = MakeBody(random);

    if (argc == 3 && std::strcmp(argv[1], "--write-lines") == 0) {
        std::FILE* file = std::fopen(argv[2], "wb");
        if (!file) {
            std::perror(argv[2]);
            return 1;
        }
        for (const HeaderLine& line : lines) {
            std::fprintf(file, "%s\n", line.encoded.c_str());
        }
        std::fclose(file);
    }

    std::size_t encodedBytes = 0;
    std::size_t rawBytes = 0;
    std::string joinedEncoded;
    std::string joinedRaw;
    for (const HeaderLine& line : lines) {
        encodedBytes += line.encoded.size();
        rawBytes += line.rawJis.size();
        joinedEncoded += line.encoded + "\r\n";
        joinedRaw += line.rawJis + "\r\n";
    }

    IconvToCp932 iconvConverter;
    const std::string ours = ConvertJisToSjis(DecodeEncodedWords(body));
    const std::string theirs = iconvConverter.Last(iconvConverter.Convert(body));
    std::printf("Corpus (seed %u): %d header lines, %zu bytes encoded, %zu bytes as raw JIS; body %zu bytes\n",
                kSeed, kHeaderLines, encodedBytes, rawBytes, body.size());
    std::printf("Body converted by both agrees byte for byte: %s\n\n", ours == theirs ? "yes" : "NO");

    std::printf("Header lines, one call per line\n");
    const double iconvLines = BestSeconds([&] {
        for (const HeaderLine& line : lines) {
            g_sink += iconvConverter.Convert(line.rawJis);
        }
    });
    const double iconvLinesRate = static_cast<double>(rawBytes) / iconvLines / 1e6;
    const double oursLines = BestSeconds([&] {
        for (const HeaderLine& line : lines) {
            g_sink += ConvertJisToSjis(DecodeEncodedWords(line.encoded)).size();
        }
    });
    Report("iconv ISO-2022-JP -> CP932 (raw JIS)", rawBytes, iconvLines);
    Report("DecodeEncodedWords + ConvertJisToSjis", encodedBytes, oursLines, iconvLinesRate);
    std::printf("  per line: iconv %.0f ns, ours %.0f ns\n\n", iconvLines / kHeaderLines * 1e9,
                oursLines / kHeaderLines * 1e9);

    std::printf("Header lines, joined into one text\n");
    const double iconvJoined = BestSeconds([&] { g_sink += iconvConverter.Convert(joinedRaw); });
    const double oursJoined =
        BestSeconds([&] { g_sink += ConvertJisToSjis(DecodeEncodedWords(joinedEncoded)).size(); });
    Report("iconv ISO-2022-JP -> CP932 (raw JIS)", joinedRaw.size(), iconvJoined);
    Report("DecodeEncodedWords + ConvertJisToSjis", joinedEncoded.size(), oursJoined,
           static_cast<double>(joinedRaw.size()) / iconvJoined / 1e6);
    std::printf("\n");

    std::printf("1 MB ISO-2022-JP body, one call\n");
    const double iconvBody = BestSeconds([&] { g_sink += iconvConverter.Convert(body); });
    const double oursBody = BestSeconds([&] { g_sink += ConvertJisToSjis(DecodeEncodedWords(body)).size(); });
    const double decodeBody = BestSeconds([&] { g_sink += DecodeEncodedWords(body).size(); });
    const double convertBody = BestSeconds([&] { g_sink += ConvertJisToSjis(body).size(); });
    std::string copy(body.size(), '\0');
    const double copyBody = BestSeconds([&] {
        std::memcpy(copy.data(), body.data(), body.size());
        g_sink += static_cast<unsigned char>(copy[g_sink % copy.size()]);
    });
    const double iconvBodyRate = static_cast<double>(body.size()) / iconvBody / 1e6;
    Report("iconv ISO-2022-JP -> CP932", body.size(), iconvBody);
    Report("DecodeEncodedWords + ConvertJisToSjis", body.size(), oursBody, iconvBodyRate);
    Report("  DecodeEncodedWords alone", body.size(), decodeBody);
    Report("  ConvertJisToSjis alone", body.size(), convertBody);
    Report("memcpy", body.size(), copyBody);

    std::printf("\niconv refusals: %zu (checksum %zu)\n", iconvConverter.failures(), g_sink);
    return ours == theirs ? 0 : 1;
}
