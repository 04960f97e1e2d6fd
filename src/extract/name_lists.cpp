// The include and exclude patterns: each node is one heap block, the link followed by the text.
#include "extract/name_lists.h"

#include <cstdlib>
#include <cstring>

#include "report/report.h"

namespace {

NameNode* NewNode(const char* pattern) {
  size_t length = std::strlen(pattern);
  void* block = std::malloc(sizeof(NameNode) + length + 1);
  if (!block) ReportFatal(100, nullptr);
  NameNode* node = static_cast<NameNode*>(block);
  node->next = nullptr;
  node->pattern = reinterpret_cast<char*>(node + 1);
  for (size_t i = 0; i <= length; ++i) node->pattern[i] = pattern[i] == '\\' ? '/' : pattern[i];
  return node;
}

void Push(NameNode** head, int* count, const char* pattern) {
  NameNode* node = NewNode(pattern);
  node->next = *head;
  *head = node;
  ++*count;
}

void FreeList(NameNode** head, int* count) {
  NameNode* node = *head;
  while (node) {
    NameNode* next = node->next;
    std::free(node);
    node = next;
  }
  *head = nullptr;
  *count = 0;
}

}  // namespace

void AddIncludeName(NameLists* lists, const char* pattern) {
  Push(&lists->include, &lists->includeCount, pattern);
}

void AddExcludeName(NameLists* lists, const char* pattern) {
  Push(&lists->exclude, &lists->excludeCount, pattern);
}

void ReverseIncludeList(NameLists* lists) {
  NameNode* reversed = nullptr;
  NameNode* node = lists->include;
  while (node) {
    NameNode* next = node->next;
    node->next = reversed;
    reversed = node;
    node = next;
  }
  lists->include = reversed;
}

void FreeIncludeList(NameLists* lists) { FreeList(&lists->include, &lists->includeCount); }

void FreeNameLists(NameLists* lists) {
  FreeList(&lists->include, &lists->includeCount);
  FreeList(&lists->exclude, &lists->excludeCount);
}
