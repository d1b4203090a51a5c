#include "os/CGenericEncoding.h"

DecodeResult CGenericEncoding::Decode(CBuffer&, CBuffer&) {
    return kDecodeComplete;
}
