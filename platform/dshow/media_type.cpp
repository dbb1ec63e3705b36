// Media types with format blocks of their own.
#include "dshow/media_type.h"

#include <cstdlib>

void FreeMediaType(AM_MEDIA_TYPE& type) {
  std::free(type.pbFormat);
  type.pbFormat = nullptr;
  type.cbFormat = 0;
  type.formattype = GUID_NULL;
  if (type.pUnk) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

bool CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  *target = *source;
  target->pbFormat = nullptr;
  target->cbFormat = 0;
  if (source->cbFormat != 0 && source->pbFormat) {
    target->pbFormat = static_cast<BYTE*>(std::malloc(source->cbFormat));
    if (!target->pbFormat) {
      target->formattype = GUID_NULL;
      target->pUnk = nullptr;
      return false;
    }
    std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    target->cbFormat = source->cbFormat;
  }
  if (target->pUnk) target->pUnk->AddRef();
  return true;
}

CMediaType::CMediaType() : AM_MEDIA_TYPE{} { bFixedSizeSamples = TRUE; }

CMediaType::CMediaType(const AM_MEDIA_TYPE& type) : AM_MEDIA_TYPE{} { CopyMediaType(this, &type); }

CMediaType::CMediaType(const CMediaType& type) : AM_MEDIA_TYPE{} { CopyMediaType(this, &type); }

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& type) {
  if (&type != this) {
    FreeMediaType(*this);
    CopyMediaType(this, &type);
  }
  return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& type) { return *this = static_cast<const AM_MEDIA_TYPE&>(type); }

CMediaType::~CMediaType() { FreeMediaType(*this); }

bool CMediaType::SetFormat(const BYTE* format, ULONG length) {
  BYTE* block = AllocFormatBuffer(length);
  if (!block && length != 0) return false;
  if (format && length != 0) std::memcpy(block, format, length);
  return true;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
  ResetFormatBuffer();
  if (length == 0) return nullptr;
  pbFormat = static_cast<BYTE*>(std::calloc(1, length));
  if (pbFormat) cbFormat = length;
  return pbFormat;
}

void CMediaType::ResetFormatBuffer() {
  std::free(pbFormat);
  pbFormat = nullptr;
  cbFormat = 0;
}
