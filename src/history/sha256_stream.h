#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>
#include <memory>

#ifdef KESTROVA_HAVE_LIBCRYPTO
#include <openssl/evp.h>
#endif

namespace history {

// SHA-256 of bytes handed over piece by piece. A year's log takes seconds
// with Qt's own; the system's libcrypto uses the processor's SHA
// instructions.
class sha256_stream {
public:
    sha256_stream();
    void add(QByteArrayView bytes);
    QByteArray hex();

private:
#ifdef KESTROVA_HAVE_LIBCRYPTO
    struct free_context {
        void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    };
    std::unique_ptr<EVP_MD_CTX, free_context> context_{EVP_MD_CTX_new()};
#endif
    QCryptographicHash qt_{QCryptographicHash::Sha256};
};

} // namespace history
