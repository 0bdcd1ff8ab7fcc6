#include "codecs/codec_table.h"

#include "codecs/bmp_codec.h"
#include "codecs/png_codec.h"
#include "codecs/stored_codec.h"
#include "codecs/text_codec.h"

namespace zok {

CCodecTable::CCodecTable() {
    m_codecs[kBmp] = std::make_unique<CBmpCodec>();
    m_codecs[kPng] = std::make_unique<CPngCodec>();
    m_codecs[kStored] = std::make_unique<CStoredCodec>();
    m_codecs[kText] = std::make_unique<CTextCodec>();
}

CCodecTable::~CCodecTable() = default;

}  // namespace zok
