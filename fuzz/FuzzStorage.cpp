// Compound documents: open arbitrary bytes, walk every storage, read and seek
// every stream, and read every stream as a document property set.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "container/OleStorage.h"
#include "container/Vox_Sum.h"
#include "platform/Exceptions.h"

using namespace gridlark;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    std::vector<std::shared_ptr<IStorage>> pending{StgOpenStorageOnMemory(std::vector<uint8_t>(data, data + size))};
    std::vector<uint8_t> buffer(700);
    while (!pending.empty()) {
      std::shared_ptr<IStorage> storage = pending.back();
      pending.pop_back();
      IEnumSTATSTG elements = storage->EnumElements();
      STATSTG element;
      while (elements.Next(element)) {
        if (element.type == STGTY_STORAGE) {
          if (auto child = storage->OpenStorage(element.pwcsName)) pending.push_back(child);
          continue;
        }
        std::shared_ptr<IStream> stream = storage->OpenStream(element.pwcsName);
        if (!stream) continue;
        TOleStream s(stream);
        while (s.Read(buffer.data(), int64_t(buffer.size())) > 0) {
        }
        if (s.Size() >= 3) {
          s.Seek(-3, SeekOrigin::End);
          s.Read(buffer.data(), 100);
        }
        s.Seek(97, SeekOrigin::Begin);
        s.Read(buffer.data(), 5);
        TVoxSummaryInformation info;
        try {
          info.ReadPropertySet(s, int64_t(element.cbSize), element.pwcsName.size() % 2 == 0);
        } catch (const Exception&) {
          // Unconvertible values and impossible dates raise; that is their answer.
        }
      }
    }
  } catch (const Exception&) {
  }
  return 0;
}
