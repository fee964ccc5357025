#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <numeric>
#include <thread>
#include <vector>

#include "player/PcmStore.hpp"

namespace vellory::player {
namespace {

std::vector<std::uint8_t> counting(std::size_t size, std::uint8_t start = 0) {
  std::vector<std::uint8_t> bytes(size);
  std::iota(bytes.begin(), bytes.end(), start);
  return bytes;
}

std::vector<std::uint8_t> takeAll(PcmStore& store, std::size_t capacity, bool* ended = nullptr) {
  std::vector<std::uint8_t> out(capacity);
  const auto taken = store.take(out.data(), capacity);
  out.resize(taken.bytes);
  if (ended != nullptr) *ended = taken.ended;
  return out;
}

TEST(PcmStore, HandsOutWholeFramesOnlyWhileTheInputIsOpen) {
  PcmStore store;
  const auto bytes = counting(12);
  store.append(bytes.data(), 6);  // a read that ends inside the second frame
  EXPECT_EQ(store.bufferedBytes(), 6u);
  bool ended = true;
  EXPECT_EQ(takeAll(store, 16384, &ended),
            std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4));
  EXPECT_FALSE(ended);
  EXPECT_TRUE(takeAll(store, 16384, &ended).empty());  // half a frame waits for its rest
  EXPECT_FALSE(ended);
  store.append(bytes.data() + 6, 6);
  EXPECT_EQ(takeAll(store, 16384),
            std::vector<std::uint8_t>(bytes.begin() + 4, bytes.end()));  // nothing shifted
}

TEST(PcmStore, DropsATrailingPartialFrameAtTheEndOfInput) {
  PcmStore store;
  const auto bytes = counting(7);
  store.append(bytes.data(), bytes.size());
  store.markEnd();
  bool ended = false;
  EXPECT_EQ(takeAll(store, 16384, &ended).size(), 4u);
  EXPECT_TRUE(ended);
  EXPECT_EQ(store.bufferedBytes(), 0u);
}

TEST(PcmStore, KeepsOrderAcrossChunksAndCapacities) {
  PcmStore store;
  const auto bytes = counting(3 * PcmStore::chunkBytes + 100, 7);
  // Appends of odd sizes spanning chunk borders.
  std::size_t at = 0;
  for (std::size_t size : {1u, 3u, 65535u, 70001u, 9u}) {
    store.append(bytes.data() + at, size);
    at += size;
  }
  store.append(bytes.data() + at, bytes.size() - at);
  std::vector<std::uint8_t> out;
  for (;;) {
    bool ended = false;
    const auto part = takeAll(store, 16384, &ended);
    if (part.empty()) break;
    EXPECT_EQ(part.size() % 4, 0u);
    out.insert(out.end(), part.begin(), part.end());
  }
  EXPECT_EQ(out, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + out.size()));
  EXPECT_EQ(out.size(), bytes.size() - bytes.size() % 4);
}

TEST(PcmStore, EmptyAppendChangesNothing) {
  PcmStore store;
  store.append(nullptr, 0);
  bool ended = true;
  EXPECT_TRUE(takeAll(store, 16384, &ended).empty());
  EXPECT_FALSE(ended);
  store.markEnd();
  takeAll(store, 16384, &ended);
  EXPECT_TRUE(ended);
}

TEST(PcmStore, WaitForRoomBlocksUntilTakenOrReleased) {
  PcmStore store;
  const auto bytes = counting(40000);
  store.append(bytes.data(), bytes.size());
  auto waiter = std::async(std::launch::async, [&] { return store.waitForRoom(30000); });
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  takeAll(store, 16384);
  EXPECT_TRUE(waiter.get());

  store.append(bytes.data(), bytes.size());
  auto released = std::async(std::launch::async, [&] { return store.waitForRoom(30000); });
  EXPECT_EQ(released.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  store.release();
  EXPECT_FALSE(released.get());
  EXPECT_FALSE(store.waitForRoom(1'000'000));  // and at once from then on
}

}  // namespace
}  // namespace vellory::player
