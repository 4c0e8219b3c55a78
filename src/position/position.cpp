#include "position/position.h"

#include "position/fen.h"

namespace quarn {

template <class P>
std::unique_ptr<P> ConstructPosition() {
  std::unique_ptr<P> pos(new (std::nothrow) P);
  if (!pos) return pos;
  ResetPosition(*pos);
  for (auto& e : pos->moveStack) e = typename P::ElementType{};
  for (auto& frame : pos->plyFrames) frame = typename P::PlyFrame{};
  SetFromFen(*pos, StartFen);
  pos->ResetPly();
  return pos;
}

template <class P>
std::unique_ptr<P> PositionFromFen(const char* fen) {
  std::unique_ptr<P> pos = ConstructPosition<P>();
  if (pos && !SetupPlayableFen(*pos, fen)) pos.reset();
  return pos;
}

template std::unique_ptr<Position> ConstructPosition<Position>();
template std::unique_ptr<MarseillaisPosition> ConstructPosition<MarseillaisPosition>();
template std::unique_ptr<Position> PositionFromFen<Position>(const char*);
template std::unique_ptr<MarseillaisPosition> PositionFromFen<MarseillaisPosition>(const char*);

}  // namespace quarn
