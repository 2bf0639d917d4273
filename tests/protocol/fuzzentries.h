#pragma once
// What the fuzzers and the corpus replay feed with arbitrary bytes: frame reassembly, call and
// reply decoding, data-packet and delta decoding. None may crash, hang or allocate out of
// proportion, whatever the bytes; where the bytes decode, what they decode to must encode and
// decode again the same way, or the entry aborts so that the fuzzer reports it.

#include <QByteArrayView>

namespace protocolfuzz {

void frames(QByteArrayView data);
void calls(QByteArrayView data);
void packets(QByteArrayView data);

} // namespace protocolfuzz
