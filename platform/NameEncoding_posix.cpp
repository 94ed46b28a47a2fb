// Name conversion through iconv, from the locale's encoding to GBK and back.
#include "platform/NameEncoding.h"

#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

namespace {

iconv_t Handle(void* p) { return static_cast<iconv_t>(p); }

// The locale's encoding of file names. The C locale says ASCII, yet the names such a
// system lists are almost always UTF-8, of which ASCII is a part.
std::string LocalEncoding() {
    static const bool once = std::setlocale(LC_CTYPE, "") != nullptr;
    (void)once;
    const char* codeset = ::nl_langinfo(CODESET);
    if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
        std::strcmp(codeset, "ASCII") == 0) {
        return "UTF-8";
    }
    return codeset;
}

}  // namespace

bool NameConversionAvailable() { return true; }

CNameEncoder::~CNameEncoder() {
    if (m_handle != nullptr) ::iconv_close(Handle(m_handle));
}

bool CNameEncoder::Open(NameDirection direction) {
    if (m_handle != nullptr) ::iconv_close(Handle(m_handle));
    m_handle = nullptr;
    std::string local = LocalEncoding();
    iconv_t cd = direction == NameDirection::LocalToGbk ? ::iconv_open("GBK", local.c_str())
                                                         : ::iconv_open(local.c_str(), "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    m_handle = cd;
    return true;
}

bool CNameEncoder::Convert(std::string& name) {
    if (m_handle == nullptr) return false;
    ::iconv(Handle(m_handle), nullptr, nullptr, nullptr, nullptr);
    std::string in = name;
    // Three output bytes per input byte cover GBK to UTF-8, the widest case.
    std::string out(in.size() * 3 + 8, '\0');
    char* inPtr = in.empty() ? nullptr : &in[0];
    std::size_t inLeft = in.size();
    char* outPtr = &out[0];
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (::iconv(Handle(m_handle), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
            return false;  // EILSEQ, EINVAL (a cut character) or, never expected, E2BIG
        }
    }
    if (::iconv(Handle(m_handle), nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return false;
    out.resize(out.size() - outLeft);
    name = out;
    return true;
}
