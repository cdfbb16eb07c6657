// Streaming decoders over zlib, brotli and zstd, each bounded in output.
#include "net/ContentDecoder.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

class ContentDecoder::Engine {
public:
    virtual ~Engine() = default;
    // Decodes from in (advancing it) into out (advancing it); false on bytes
    // that do not decode.
    virtual bool run(const char*& in, size_t& inLeft, char*& out, size_t& outLeft) = 0;
    // True once the stream's end was decoded.
    bool ended() const { return m_ended; }

protected:
    // Bytes fed after the stream's end make the body invalid.
    bool afterEnd(size_t inLeft) const { return m_ended && inLeft > 0; }
    bool m_ended = false;
};

namespace {

class Inflate : public ContentDecoder::Engine {
public:
    // Either wrapper (gzip or zlib) is recognised: servers send both for both names.
    Inflate() { m_ok = inflateInit2(&m_z, 15 + 32) == Z_OK; }
    ~Inflate() override { inflateEnd(&m_z); }
    bool run(const char*& in, size_t& inLeft, char*& out, size_t& outLeft) override {
        if (!m_ok || afterEnd(inLeft))
            return false;
        if (m_ended)
            return true;
        m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
        m_z.avail_in = static_cast<uInt>(inLeft);
        m_z.next_out = reinterpret_cast<Bytef*>(out);
        m_z.avail_out = static_cast<uInt>(outLeft);
        const int result = inflate(&m_z, Z_NO_FLUSH);
        in += inLeft - m_z.avail_in;
        inLeft = m_z.avail_in;
        out += outLeft - m_z.avail_out;
        outLeft = m_z.avail_out;
        m_ended = result == Z_STREAM_END;
        return (result == Z_OK || result == Z_STREAM_END || result == Z_BUF_ERROR) &&
               !afterEnd(inLeft);
    }

private:
    z_stream m_z{};
    bool m_ok = false;
};

class Brotli : public ContentDecoder::Engine {
public:
    Brotli() : m_state(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
    ~Brotli() override { BrotliDecoderDestroyInstance(m_state); }
    bool run(const char*& in, size_t& inLeft, char*& out, size_t& outLeft) override {
        if (!m_state || afterEnd(inLeft))
            return false;
        if (m_ended)
            return true;
        const auto* next = reinterpret_cast<const uint8_t*>(in);
        auto* to = reinterpret_cast<uint8_t*>(out);
        const BrotliDecoderResult result =
            BrotliDecoderDecompressStream(m_state, &inLeft, &next, &outLeft, &to, nullptr);
        in = reinterpret_cast<const char*>(next);
        out = reinterpret_cast<char*>(to);
        m_ended = result == BROTLI_DECODER_RESULT_SUCCESS;
        return result != BROTLI_DECODER_RESULT_ERROR && !afterEnd(inLeft);
    }

private:
    BrotliDecoderState* m_state;
};

class Zstd : public ContentDecoder::Engine {
public:
    Zstd() : m_stream(ZSTD_createDStream()) {
        if (m_stream)
            ZSTD_initDStream(m_stream);
    }
    ~Zstd() override { ZSTD_freeDStream(m_stream); }
    bool run(const char*& in, size_t& inLeft, char*& out, size_t& outLeft) override {
        if (!m_stream || afterEnd(inLeft))
            return false;
        if (m_ended)
            return true;
        ZSTD_inBuffer from{in, inLeft, 0};
        ZSTD_outBuffer to{out, outLeft, 0};
        const size_t result = ZSTD_decompressStream(m_stream, &to, &from);
        in += from.pos;
        inLeft -= from.pos;
        out += to.pos;
        outLeft -= to.pos;
        // 0: a frame was decoded and flushed whole. One frame is the body.
        m_ended = result == 0;
        return ZSTD_isError(result) == 0 && !afterEnd(inLeft);
    }

private:
    ZSTD_DStream* m_stream;
};

} // namespace

ContentDecoder::ContentDecoder(const QByteArray& encoding) {
    const QByteArray name = encoding.trimmed().toLower();
    if (name == "gzip" || name == "x-gzip" || name == "deflate")
        m_engine = std::make_unique<Inflate>();
    else if (name == "br")
        m_engine = std::make_unique<Brotli>();
    else if (name == "zstd")
        m_engine = std::make_unique<Zstd>();
}

ContentDecoder::~ContentDecoder() = default;

void ContentDecoder::feed(const QByteArray& encoded) {
    if (m_used > 0) {
        m_input.remove(0, m_used);
        m_used = 0;
    }
    m_input += encoded;
}

bool ContentDecoder::complete() const {
    return !m_failed && !pending() && (!m_engine || m_engine->ended());
}

bool ContentDecoder::pending() const {
    return !m_failed && (m_used < m_input.size() || m_full);
}

QByteArray ContentDecoder::take(qint64 max) {
    if (!pending() || max <= 0)
        return {};
    if (!m_engine) {
        const QByteArray out = m_input.mid(m_used, max);
        m_used += out.size();
        return out;
    }
    QByteArray out(max, Qt::Uninitialized);
    const char* in = m_input.constData() + m_used;
    size_t inLeft = static_cast<size_t>(m_input.size() - m_used);
    char* to = out.data();
    size_t outLeft = static_cast<size_t>(max);
    // Runs until the output is full or the input gives nothing more. A
    // decoder that filled the output may hold more of it without input left.
    while (outLeft > 0) {
        const size_t before = inLeft + outLeft;
        if (!m_engine->run(in, inLeft, to, outLeft)) {
            m_failed = true;
            break;
        }
        if (inLeft + outLeft == before)
            break;
    }
    m_used = in - m_input.constData();
    m_full = outLeft == 0;
    out.truncate(to - out.constData());
    return out;
}
