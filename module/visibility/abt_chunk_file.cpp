#include "visibility/abt_chunk_file.h"

#include "frame/module_globals.h"
#include "visibility/adaptive_binary_tree.h"

AbtChunkFile::AbtChunkFile(const char* path) : m_pFiles(g_pIniService) {
  if (m_pFiles == nullptr || path == nullptr) return;
  HANDLE file = m_pFiles->OpenFile(path, kFileAccessWrite, 0, kFileCreateAlways);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return;
  m_hFile = file;
  m_bOk = true;
}

AbtChunkFile::~AbtChunkFile() { Close(); }

void AbtChunkFile::Chunk(uint16_t tag, const void* body, uint32_t length) {
  if (!m_bOk) return;
  uint32_t written = 0;
  m_bOk = WriteChunkHeader(m_pFiles, m_hFile, tag, length) &&
          (length == 0 || (m_pFiles->WriteFile(m_hFile, body, length, &written) && written == length));
}

bool AbtChunkFile::Close() {
  if (m_hFile == nullptr) return false;
  m_pFiles->CloseFile(m_hFile);
  m_hFile = nullptr;
  return m_bOk;
}
