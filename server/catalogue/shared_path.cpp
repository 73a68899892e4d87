#include "server/catalogue/shared_path.h"

#include <cstring>
#include <new>
#include <ostream>

SharedPath::SharedPath(std::string_view text) {
  if (text.empty()) return;
  void* memory = ::operator new(sizeof(Block) + text.size() + 1);
  block_ = new (memory) Block{{1}, static_cast<uint32_t>(text.size())};
  char* characters = reinterpret_cast<char*>(block_ + 1);
  std::memcpy(characters, text.data(), text.size());
  characters[text.size()] = '\0';
}

void SharedPath::Free(Block* block) noexcept {
  block->~Block();
  ::operator delete(block);
}

std::ostream& operator<<(std::ostream& out, const SharedPath& path) {
  return out << path.view();
}
