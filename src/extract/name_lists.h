// The include and exclude name patterns of a run.
#pragma once

struct NameNode {
  NameNode* next;
  char* pattern;  // owned copy, '\\' turned into '/'
};

struct NameLists {
  NameNode* include = nullptr;
  int includeCount = 0;
  NameNode* exclude = nullptr;
  int excludeCount = 0;
};

// Copy the pattern, push it at the head of the list, count it.
void AddIncludeName(NameLists* lists, const char* pattern);
void AddExcludeName(NameLists* lists, const char* pattern);
// Names are pushed at the head; reversing once puts them in the order they were given.
void ReverseIncludeList(NameLists* lists);
void FreeIncludeList(NameLists* lists);
void FreeNameLists(NameLists* lists);  // both lists
