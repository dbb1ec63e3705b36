// A recorded scene: the timed scene events in append order and, per movie object id, the timed
// track of that object's events. The file is these lists as they stand, with no header:
// u32 S, S x (i32 time, scene event); u32 T, T tracks in ascending id (u32 id, u32 N,
// N x (i32 time, object event)). A movie read from a file writes its tracks back in the order
// the file had them, so that any file that reads writes back the same bytes.
#pragma once
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <istream>
#include <list>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "playback/object_event.h"
#include "playback/scene_event.h"

namespace Playback {

// The largest movie file read: hours of a full scene's events; the sample movie is 2 KiB.
inline constexpr uint64_t kMovieFileMaxBytes = 64u << 20;

// Where a read failed; offset counts bytes from the start of the movie.
struct MovieReadFailure {
  std::string reason;
  uint64_t offset = 0;
};

class MovieData {
 public:
  using SceneEntry = std::pair<int32_t, SceneEventPtr>;
  using SceneList = std::list<SceneEntry>;
  using ObjectEntry = std::pair<int32_t, ObjectEventPtr>;
  using Track = std::list<ObjectEntry>;
  using TrackPtr = boost::shared_ptr<Track>;

  void Write(std::ostream& out) const;
  // Replaces both lists by what the stream holds. False on any fault of the stream (a short
  // file, an unknown type, a string without its end, a track id given twice); the movie is
  // then empty and `failure`, when given, says what and where.
  bool Read(std::istream& in, MovieReadFailure* failure = nullptr);
  // Time of the last scene event; 0 for an empty list.
  int32_t GetLastSceneEventTime() const { return sceneEvents.empty() ? 0 : sceneEvents.back().first; }

  SceneList sceneEvents;
  std::map<uint32_t, TrackPtr> tracks;
  // The track ids in the order Read met them when that was not ascending, else none; Write puts
  // those still in `tracks` first, in this order, and the others after them in ascending id.
  std::vector<uint32_t> readOrder;
};
using MovieDataPtr = boost::shared_ptr<MovieData>;

// What slot 121 tells of a movie: the scene its last LoadScene loads and its last state string.
struct MovieInfo {
  uint32_t sceneId = 0;
  std::string state;
};

}  // namespace Playback
