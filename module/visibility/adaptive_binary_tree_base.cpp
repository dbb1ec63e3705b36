#include "visibility/adaptive_binary_tree_base.h"

CAdaptiveBinaryTreeBase::CAdaptiveBinaryTreeBase() { D3DXMatrixIdentity(&m_matWorld); }

CAdaptiveBinaryTreeBase::~CAdaptiveBinaryTreeBase() = default;
