// Objects of one type from blocks of equal slots: one untracked allocation
// per block instead of one tracked allocation per object. Not thread-safe.
#pragma once
#include <cstdint>
#include <new>
#include <vector>

#include "LogFile.h"

// Freeing a pointer the allocator did not hand out, or a slot already free,
// is a program error: logged, then a breakpoint trap stops the program.
void BlockAllocMisuse(const char* message);
// What misuse raises; tests replace it to see the case through in one
// process. Null restores the breakpoint trap. Returns the old one.
typedef void (*BlockAllocTrap)();
BlockAllocTrap SetBlockAllocTrap(BlockAllocTrap trap);

template <class T>
class BlockAlloc {
 public:
  explicit BlockAlloc(int objectsPerBlock)
      : objectsPerBlock_(objectsPerBlock < 1 ? 1 : objectsPerBlock),
        bytesPerBlock_(objectsPerBlock_ * static_cast<int>(sizeof(T))),
        totalFree_(0) {}

  // Storage goes back even when objects are alive; their destructors do not
  // run then.
  ~BlockAlloc() {
    if (static_cast<int>(blocks_.size()) * objectsPerBlock_ != totalFree_) {
      ErrorLog << "Something leaked that was made with BlockAlloc. That memory is going away now though...\n";
      WriteCallStack(ErrorLog, "  -call stack of allocator free:\n");
    }
    for (Block& block : blocks_) {
      ::operator delete(block.storage);
      delete[] block.freeFlags;
    }
  }

  // A default-constructed T in the first free slot: the lowest slot of the
  // first block that has one, a new block when none has.
  T* Alloc() {
    Block* block = nullptr;
    int slot = 0;
    if (totalFree_ == 0) {
      AddBlock();
      block = &blocks_.back();
    } else {
      for (Block& candidate : blocks_) {
        if (candidate.freeCount == 0) continue;
        block = &candidate;
        while (!block->freeFlags[slot]) ++slot;
        break;
      }
    }
    block->freeFlags[slot] = 0;
    T* object = ::new (block->storage + slot * sizeof(T)) T();
    --block->freeCount;
    --totalFree_;
    return object;
  }

  void Free(T* object) {
    std::uintptr_t address = reinterpret_cast<std::uintptr_t>(object);
    Block* block = nullptr;
    for (Block& candidate : blocks_) {
      std::uintptr_t start = reinterpret_cast<std::uintptr_t>(candidate.storage);
      if (address >= start && address < start + static_cast<std::uintptr_t>(bytesPerBlock_)) {
        block = &candidate;
        break;
      }
    }
    if (!block) return BlockAllocMisuse("trying to delete mem that doesn't exist in BlockAlloc.\n");
    std::uintptr_t offset = address - reinterpret_cast<std::uintptr_t>(block->storage);
    std::uintptr_t slot = offset / sizeof(T);
    if (slot >= static_cast<std::uintptr_t>(objectsPerBlock_) || offset != slot * sizeof(T))
      return BlockAllocMisuse("trying to delete mem that doesn't exist in BlockAlloc.\n");
    if (block->freeFlags[slot]) return BlockAllocMisuse("trying to delete memory that was already free in BlockAlloc.\n");
    object->~T();
    block->freeFlags[slot] = 1;
    ++block->freeCount;
    ++totalFree_;
  }

  // One more block, every slot free. Blocks are kept until the destructor.
  void AddBlock() {
    Block block;
    block.storage = static_cast<unsigned char*>(::operator new(static_cast<size_t>(bytesPerBlock_)));
    block.freeFlags = new unsigned char[objectsPerBlock_];
    for (int i = 0; i < objectsPerBlock_; ++i) block.freeFlags[i] = 1;
    block.freeCount = objectsPerBlock_;
    blocks_.push_back(block);
    totalFree_ += objectsPerBlock_;
  }

  int BlockCount() const { return static_cast<int>(blocks_.size()); }
  int TotalFree() const { return totalFree_; }
  int ObjectsPerBlock() const { return objectsPerBlock_; }
  int BytesPerBlock() const { return bytesPerBlock_; }

 private:
  BlockAlloc(const BlockAlloc&) = delete;
  BlockAlloc& operator=(const BlockAlloc&) = delete;

  struct Block {
    unsigned char* storage;     // bytes per block, from the global allocator
    unsigned char* freeFlags;   // one per slot: 1 free, 0 in use
    int freeCount;
  };
  std::vector<Block> blocks_;  // in the order they were added
  int objectsPerBlock_;
  int bytesPerBlock_;
  int totalFree_;  // over all blocks
};
