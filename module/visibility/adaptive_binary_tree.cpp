#include "visibility/adaptive_binary_tree.h"

#include <climits>

CAdaptiveBinaryTree::CAdaptiveBinaryTree() = default;
CAdaptiveBinaryTree::~CAdaptiveBinaryTree() = default;

bool CAdaptiveBinaryTree::Init() {
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", INT_MIN);
  SubscribeChannel("system_messages", 3);
  return true;
}
