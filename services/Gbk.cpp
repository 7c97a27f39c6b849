// SPDX-License-Identifier: MIT
#include "services/Gbk.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iconv.h>

namespace paveno {
namespace {

// One converter per direction and thread; iconv_open is too slow to call per file name.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts the whole input; on an undecodable byte either fails or, when lossy, writes `replacement`
    // and skips that one byte.
    std::optional<std::string> run(std::string_view in, const char* replacement) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.reserve(in.size() * 3 / 2 + 8);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, dst - buffer);
            if (rc != static_cast<size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            if (!replacement) return std::nullopt;
            out += replacement; // EILSEQ or a sequence cut at the end (EINVAL)
            ++src;
            --srcLeft;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buffer, dst - buffer);
        return out;
    }

private:
    iconv_t cd_;
};

Converter& toUtf8() {
    thread_local Converter c("UTF-8", "GB18030");
    return c;
}

Converter& toGbk() {
    thread_local Converter c("GB18030", "UTF-8");
    return c;
}

} // namespace

void OpenGbkConverters() {
    toUtf8();
    toGbk();
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
    return toUtf8().run(gbk, nullptr);
}

std::optional<Text> Utf8ToGbk(std::string_view utf8) {
    auto out = toGbk().run(utf8, nullptr);
    if (out && out->find('\0') != std::string::npos) return std::nullopt; // a text never holds a zero byte
    return out;
}

Text Gbk(std::string_view utf8Literal) {
    auto gbk = Utf8ToGbk(utf8Literal);
    if (!gbk) {
        std::fprintf(stderr, "paveno: literal without a GBK form: %.*s\n", static_cast<int>(utf8Literal.size()),
                     utf8Literal.data());
        std::abort();
    }
    return *gbk;
}

std::string GbkToUtf8Lossy(std::string_view gbk) {
    return *toUtf8().run(gbk, "\xEF\xBF\xBD");
}

Text Utf8ToGbkLossy(std::string_view utf8) {
    Text out = *toGbk().run(utf8, "?");
    std::erase(out, '\0');
    return out;
}

} // namespace paveno
