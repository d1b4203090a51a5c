#include "http/CGenericEncoding.h"

DecodeResult CGenericEncoding::Decode(CBuffer&, CBuffer&) {
    return kDecodeComplete;
}
