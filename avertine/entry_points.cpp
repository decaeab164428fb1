// The C entry points: argument checks, then the instance's operations. No exception leaves here (the
// library is built without them) and nothing allocates after AvertineCreate.
#include <new>

#include "avertine/avertine.h"
#include "avertine/collision_logic.h"
#include "avertine/sensitivity_selector.h"

struct kvr::AvertineInstance {
  explicit AvertineInstance(int32_t capabilities) : logic(capabilities) {}
  avertine::CollisionLogic logic;
};

namespace kvr {

AvertineHandle AVERTINE_CALL AvertineCreate(int32_t capabilities) {
  return new (std::nothrow) AvertineInstance(capabilities);
}

int32_t AVERTINE_CALL AvertineDestroy(AvertineHandle handle) {
  if (handle == nullptr) return 0;
  delete handle;
  return 1;
}

int32_t AVERTINE_CALL AvertineResetAdvisory(AvertineHandle handle, AdvisoryRecord* advisory, int32_t /*reserved*/) {
  if (handle == nullptr || advisory == nullptr) return 0;
  handle->logic.ResetAdvisory(*advisory);
  return 1;
}

int32_t AVERTINE_CALL AvertineCollectAdvisory(AvertineHandle handle, AdvisoryRecord* advisory, int32_t /*reserved*/) {
  if (handle == nullptr || advisory == nullptr) return 0;
  handle->logic.CollectAdvisory(*advisory);
  return 1;
}

int32_t AVERTINE_CALL AvertineUpdateOwnShip(AvertineHandle handle, const OwnShipRecord* ownShip) {
  if (handle == nullptr || ownShip == nullptr) return 0;
  return handle->logic.UpdateOwnShip(*ownShip) ? 1 : 0;
}

int32_t AVERTINE_CALL AvertineProcessIntruder(AvertineHandle handle, const IntruderInputRecord* intruder,
                                              IntruderEntry* entry) {
  if (entry == nullptr) return 0;
  if (handle == nullptr || intruder == nullptr) {
    entry->valid = 0;
    return 0;
  }
  return handle->logic.ProcessIntruder(*intruder, *entry) ? 1 : 0;
}

int32_t AVERTINE_CALL AvertineDefaultOwnShip(OwnShipRecord* ownShip) {
  if (ownShip == nullptr) return 0;
  avertine::CollisionLogic::DefaultOwnShip(*ownShip);
  return 1;
}

int32_t AVERTINE_CALL AvertineDefaultIntruderInput(IntruderInputRecord* intruder) {
  if (intruder == nullptr) return 0;
  avertine::CollisionLogic::DefaultIntruderInput(*intruder);
  return 1;
}

int32_t AVERTINE_CALL AvertineLatestAdvisory(AvertineHandle handle, LatestAdvisory* latest) {
  if (handle == nullptr || latest == nullptr) return 0;
  *latest = handle->logic.Latest();
  return 1;
}

int32_t AVERTINE_CALL AvertineSensitivityLevel(const OwnShipRecord* ownShip, float verticalRateFpm) {
  if (ownShip == nullptr) return 0;
  const avertine::SensitivityLevel& level = avertine::SelectFrameLevel(
      ownShip->pressureAltitudeFt, ownShip->radioAltitudeFt, ownShip->lowHeight != 0, verticalRateFpm, false);
  return &level == &avertine::kClimbOutLevel ? 3 : level.level;
}

}  // namespace kvr
