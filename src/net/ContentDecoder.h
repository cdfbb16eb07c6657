// The decoding of an HTTP body's Content-Encoding (gzip, deflate, br, zstd:
// what the SOAP calls advertise), fed as the body arrives and drained in
// pieces of a size the reader chooses, so a small compressed body can never
// expand in memory faster than it is read.
//
// Written here rather than left to the HTTP engine: libcurl 7.88 takes a
// compressed body that stops before its stream's end (half a gzip member, a
// zstd frame without its last bytes) as complete. A body is whole only when
// its stream reached its end (complete()), and bytes after that end (a second
// gzip member, anything after a brotli or zstd frame) are a failure, not
// silently dropped.
#pragma once

#include <QByteArray>

#include <memory>

class ContentDecoder {
public:
    // encoding: the Content-Encoding field's value. An empty, "identity" or
    // unknown one passes the bytes through as they are.
    explicit ContentDecoder(const QByteArray& encoding);
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder&) = delete;
    ContentDecoder& operator=(const ContentDecoder&) = delete;

    // Adds bytes of the encoded body.
    void feed(const QByteArray& encoded);
    // Up to max decoded bytes from what was fed; empty when what was fed
    // gives no more yet. Sets failed() on bytes that do not decode.
    QByteArray take(qint64 max);
    // True while fed bytes wait to be decoded (take() may give more).
    bool pending() const;
    bool failed() const { return m_failed; }
    // True when the encoded stream reached its end and everything fed was
    // decoded and taken (always, for bytes that pass through).
    bool complete() const;

    class Engine; // one per encoding

private:
    std::unique_ptr<Engine> m_engine; // null: bytes pass through
    QByteArray m_input;               // fed and not decoded yet
    qsizetype m_used = 0;             // of m_input, already decoded
    bool m_failed = false;
    bool m_full = false; // the last take() filled its output: more may come
};
