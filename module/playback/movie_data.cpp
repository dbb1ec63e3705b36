#include "playback/movie_data.h"

#include <algorithm>
#include <memory>

#include "playback/movie_stream.h"

namespace Playback {

SceneEvent::~SceneEvent() = default;
ObjectEvent::~ObjectEvent() = default;

void MovieData::Write(std::ostream& out) const {
  OutStream stream(out);
  stream << static_cast<uint32_t>(sceneEvents.size());
  for (const SceneEntry& entry : sceneEvents) stream << entry.first << *entry.second;
  stream << static_cast<uint32_t>(tracks.size());
  auto put = [&stream](uint32_t id, const Track& track) {
    stream << id << static_cast<uint32_t>(track.size());
    for (const ObjectEntry& entry : track) stream << entry.first << *entry.second;
  };
  for (const uint32_t id : readOrder)
    if (const auto track = tracks.find(id); track != tracks.end()) put(id, *track->second);
  std::vector<uint32_t> written(readOrder);
  std::sort(written.begin(), written.end());
  for (const auto& [id, track] : tracks)
    if (!std::binary_search(written.begin(), written.end(), id)) put(id, *track);
}

bool MovieData::Read(std::istream& in, MovieReadFailure* failure) {
  sceneEvents.clear();
  tracks.clear();
  readOrder.clear();
  SceneList scene;
  std::map<uint32_t, TrackPtr> read;
  std::vector<uint32_t> order;
  InStream stream(in);
  try {
    // Counts only bound the loops: a count larger than the file fails at the file's end, and
    // nothing is sized by it beforehand.
    uint32_t count = 0;
    stream >> count;
    for (uint32_t i = 0; i < count; ++i) {
      int32_t time = 0;
      SceneEvent* event = nullptr;
      stream >> time >> event;
      SceneEventPtr held(event);
      scene.emplace_back(time, std::move(held));
    }
    stream >> count;
    for (uint32_t t = 0; t < count; ++t) {
      uint32_t id = 0, entries = 0;
      stream >> id;
      if (read.count(id) != 0) stream.Fail("track " + std::to_string(id) + " is given twice");
      stream >> entries;
      auto track = boost::shared_ptr<Track>(new Track);
      read.emplace(id, track);
      order.push_back(id);
      for (uint32_t i = 0; i < entries; ++i) {
        int32_t time = 0;
        ObjectEvent* event = nullptr;
        stream >> time >> event;
        ObjectEventPtr held(event);
        track->emplace_back(time, std::move(held));
      }
    }
  } catch (const MovieFormatError& e) {
    if (failure != nullptr) *failure = MovieReadFailure{e.what(), e.offset};
    return false;
  } catch (const std::exception& e) {
    if (failure != nullptr) *failure = MovieReadFailure{e.what(), stream.Offset()};
    return false;
  }
  sceneEvents.swap(scene);
  tracks.swap(read);
  if (!std::is_sorted(order.begin(), order.end())) readOrder.swap(order);
  return true;
}

}  // namespace Playback
