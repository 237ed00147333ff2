#include "history/sha256_stream.h"

namespace history {

sha256_stream::sha256_stream() {
#ifdef KESTROVA_HAVE_LIBCRYPTO
    if (context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1)
        context_.reset();
#endif
}

void sha256_stream::add(QByteArrayView bytes) {
#ifdef KESTROVA_HAVE_LIBCRYPTO
    if (context_) {
        EVP_DigestUpdate(context_.get(), bytes.data(), static_cast<std::size_t>(bytes.size()));
        return;
    }
#endif
    qt_.addData(bytes);
}

QByteArray sha256_stream::hex() {
#ifdef KESTROVA_HAVE_LIBCRYPTO
    if (context_) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(context_.get(), digest, &length) == 1)
            return QByteArray(reinterpret_cast<const char*>(digest), length).toHex();
    }
#endif
    return qt_.result().toHex();
}

} // namespace history
