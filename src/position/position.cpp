#include "position/position.h"

#include "position/fen.h"

namespace quarn {

template <class P>
std::unique_ptr<P> ConstructPosition() {
  std::unique_ptr<P> pos(new (std::nothrow) P);
  if (!pos) return pos;
  InitGeometryTables();
  ResetPosition(*pos);
  for (auto& e : pos->moveStack) e = typename P::ElementType{};
  for (auto& frame : pos->plyFrames) frame = typename P::PlyFrame{};
  SetFromFen(*pos, StartFen);
  pos->ResetPly();
  return pos;
}

template std::unique_ptr<Position> ConstructPosition<Position>();
template std::unique_ptr<MarseillaisPosition> ConstructPosition<MarseillaisPosition>();

}  // namespace quarn
