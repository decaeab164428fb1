#include "host/panel.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace kvr::host {

namespace {

// Bounds on what a module may declare: deeper or larger trees are refused rather than followed.
constexpr size_t kMaxElements = 256;
constexpr size_t kMaxChildren = 64;

// The phase a simulator passes with code 9; gauges ignore it.
constexpr uintptr_t kGeneratePhase = 1;

// T may itself be a pointer (a list of element pointers).
template <typename T>
T* Allocate(std::vector<std::unique_ptr<uint8_t[]>>& storage, size_t count = 1) {
  storage.push_back(std::make_unique<uint8_t[]>(sizeof(T) * count));  // NOLINT(bugprone-sizeof-expression)
  std::memset(storage.back().get(), 0, sizeof(T) * count);            // NOLINT(bugprone-sizeof-expression)
  return reinterpret_cast<T*>(storage.back().get());
}

// The header of the module's bitmap `id` (zero size when it has none); throws naming the bitmap when the
// header is unusable, so that nothing is sized by it.
BitmapInfo ImageInfo(const LoadedModule& module, uint32_t id) {
  const std::vector<uint8_t> bitmap = module.Bitmap(id);
  if (bitmap.empty()) return {};
  try {
    return ReadBitmapInfo(bitmap);
  } catch (const BitmapError& e) {
    char name[16];
    std::snprintf(name, sizeof name, "0x%04X", id);
    throw BitmapError(std::string("bitmap ") + name + ": " + e.what());
  }
}

}  // namespace

Panel::Panel(const PanelConfig& config, LoadedModule& module, PanelServices& services,
             std::vector<std::string>& warnings)
    : module_(module), services_(services) {
  for (const PanelWindow& window : config.windows) {
    for (const GaugePlacement& placement : window.gauges) {
      const std::string where = config.path.string() + ":" + std::to_string(placement.line) + ": ";
      if (placement.module != module.Name()) {
        warnings.push_back(where + "module \"" + placement.module + "\" is not loaded; gauge left out");
        continue;
      }
      GaugeHeader* source = module.FindGauge(placement.gauge);
      if (source == nullptr) {
        warnings.push_back(where + "module " + module.Name() + " has no gauge \"" + placement.gauge + "\"; left out");
        continue;
      }
      auto instance = std::make_unique<GaugeInstance>();
      instance->placement = placement;
      instance->source = source;
      instance->parameters = placement.parameters;
      instance->header = *source;
      instance->header.parameters = instance->parameters.c_str();
      instance->header.x = placement.x;
      instance->header.y = placement.y;
      // Size on the panel: as configured, else the design width with the top image's proportions.
      int designHeight = 0;
      const uint64_t surfaceBytesBefore = surfaceBytes_;
      try {
        CopyTree(*instance);
        if (ElementHeader* root = instance->Root()) designHeight = ImageInfo(module, root->imageId).height;
      } catch (const PanelBudgetError& e) {
        throw PanelBudgetError(where + e.what());
      } catch (const std::exception& e) {  // a bad tree or image, or surfaces too large to make
        warnings.push_back(where + e.what() + "; gauge left out");
        surfaceBytes_ = surfaceBytesBefore;  // its surfaces go with it
        continue;
      }
      // In 64 bits: a module's design width and a bitmap's height are bounded by nothing a panel file says.
      const int64_t designWidth = source->designWidth;
      const int64_t width = placement.width > 0 ? placement.width : designWidth;
      const int64_t height = placement.height > 0 ? placement.height
                             : designWidth > 0    ? int64_t{designHeight} * width / designWidth
                                                  : designHeight;
      if (width > kMaxPanelSide || height > kMaxPanelSide) {
        warnings.push_back(where + "gauge size " + std::to_string(width) + "x" + std::to_string(height) +
                           " exceeds the panel's " + std::to_string(kMaxPanelSide) + " pixels; gauge left out");
        continue;
      }
      instance->header.width = static_cast<int32_t>(width);
      instance->header.height = static_cast<int32_t>(height);
      // Panel pixels per design pixel, across and down, where the simulator keeps its scale.
      instance->header.xAdjust = designWidth > 0 ? static_cast<float>(width) / static_cast<float>(designWidth) : 1.0f;
      instance->header.yAdjust =
          designHeight > 0 ? static_cast<float>(height) / static_cast<float>(designHeight) : 1.0f;
      instances_.push_back(std::move(instance));
    }
  }
}

Panel::~Panel() {
  if (installed_) Remove();
  if (connected_) Disconnect();
}

void Panel::CopyTree(GaugeInstance& instance) {
  instance.elementList[0] = nullptr;
  if (instance.source->elementList != nullptr && instance.source->elementList[0] != nullptr)
    instance.elementList[0] = CopyElement(instance, instance.source->elementList[0], 0);
  instance.header.elementList = instance.elementList;
  instance.iconValues.assign(instance.elements.size(), 0.0);
  instance.shown.assign(instance.elements.size(), {});
  instance.redraws.assign(instance.elements.size(), 0);
}

ElementHeader* Panel::CopyElement(GaugeInstance& instance, const ElementHeader* source, int depth) {
  if (depth > kMaxTreeDepth)
    throw std::runtime_error("element tree deeper than " + std::to_string(kMaxTreeDepth) + " levels");
  if (instance.elements.size() >= kMaxElements) throw std::runtime_error("element tree larger than 256 elements");

  ElementHeader* copy = nullptr;
  if (source->type == kElementStatic) {
    copy = Allocate<ElementHeader>(instance.storage_);
    *copy = *source;
  } else if (source->type == kElementIcon) {
    auto* icon = Allocate<IconElement>(instance.storage_);
    *icon = *reinterpret_cast<const IconElement*>(source);
    copy = &icon->element;
  } else {
    throw std::runtime_error("element of unknown type " + std::to_string(source->type));
  }
  copy->gauge = &instance.header;
  instance.elements.push_back(copy);

  // Elements with a drawing surface get one the size of their image, and its context: pixels the host
  // owns and shows, which the gauge paints.
  instance.surfaces_.emplace_back();
  if ((copy->flags & 0xFF) == kElementDrawingSurface) {
    auto* info = Allocate<SurfaceInfo>(instance.storage_);
    const BitmapInfo image = ImageInfo(module_, copy->imageId);
    info->width = image.width;
    info->height = image.height;
    copy->surfaceInfo = info;
    if (info->width > 0 && info->height > 0) {  // an element without its bitmap gets no surface
      // Counted before it is made; sides are at most kMaxBitmapSide, so the product cannot overflow.
      const uint64_t bytes = uint64_t(info->width) * uint64_t(info->height) * 4;
      if (surfaceBytes_ + bytes > kMaxPanelSurfaceBytes)
        throw PanelBudgetError("the gauges' drawing surfaces would take more than " +
                               std::to_string(kMaxPanelSurfaceBytes / (1024 * 1024)) +
                               " MB; the panel places too many gauges with surfaces");
      surfaceBytes_ += bytes;
      instance.surfaces_.back() = std::make_unique<platform::ElementSurface>(info->width, info->height);
      copy->deviceContext = instance.surfaces_.back()->DeviceContext();
    }
  }

  if (source->children != nullptr) {
    size_t count = 0;
    while (source->children[count] != nullptr)
      if (++count > kMaxChildren) throw std::runtime_error("element with more than 64 children");
    auto** children = Allocate<ElementHeader*>(instance.storage_, count + 1);
    for (size_t i = 0; i < count; ++i) children[i] = CopyElement(instance, source->children[i], depth + 1);
    copy->children = children;
  }
  return copy;
}

void Panel::Broadcast(int32_t code, uintptr_t extra) {
  for (auto& instance : instances_)
    if (instance->header.callback != nullptr) instance->header.callback(&instance->header, code, extra);
}

void Panel::Start() {
  Connect();
  Install();
}

void Panel::Connect() {
  if (connected_) return;
  Broadcast(kServicePreQuery, 0);
  for (auto& instance : instances_)
    if (instance->header.query != nullptr) instance->header.query();
  Broadcast(kServicePostQuery, 0);
  Broadcast(kServiceConnect, 0);
  connected_ = true;
}

void Panel::Install() {
  if (installed_ || !connected_) return;
  for (auto& instance : instances_)
    if (instance->header.install != nullptr) instance->header.install(reinterpret_cast<uintptr_t>(&instance->header));
  Broadcast(kServiceInstall, module_.Handle());
  Broadcast(kServicePostInstall, 0);
  Broadcast(kServicePreInitialise, 0);
  for (auto& instance : instances_)
    if (instance->header.initialise != nullptr) instance->header.initialise();
  Broadcast(kServicePostInitialise, 0);
  Broadcast(kServicePanelOpen, 0);
  installed_ = true;
}

double Panel::TimeS() const {
  return rateHz_ > 0 ? baseTimeS_ + static_cast<double>(framesAtRate_) / rateHz_ : baseTimeS_;
}

uint32_t Panel::Ticks() const {
  if (rateHz_ <= 0) return baseTicks_;
  // Exact for whole-number rates: the product is a whole number and the quotient is correctly rounded.
  return baseTicks_ + static_cast<uint32_t>(std::floor(static_cast<double>(framesAtRate_) * kTicksPerSecond / rateHz_));
}

void Panel::Frame(double framesPerSecond) {
  if (!installed_) return;
  if (framesPerSecond != rateHz_) {
    baseTimeS_ = TimeS();
    baseTicks_ = Ticks();
    rateHz_ = framesPerSecond;
    framesAtRate_ = 0;
  }
  ++framesAtRate_;
  services_.SetSimVariable(kSimTickCount18Hz, static_cast<double>(Ticks()));
  for (auto& instance : instances_)
    if (instance->header.update != nullptr) instance->header.update();
  Broadcast(kServiceUpdate, 0);
  Broadcast(kServicePostUpdate, 0);
  Broadcast(kServicePreGenerate, 0);
  Broadcast(kServicePostGenerate, kGeneratePhase);
  Broadcast(kServiceDraw, 0);
  for (auto& instance : instances_) {
    if (instance->header.draw != nullptr) instance->header.draw();
    for (size_t i = 0; i < instance->elements.size(); ++i) {
      ElementHeader* element = instance->elements[i];
      if (element->type != kElementIcon) continue;
      auto* icon = reinterpret_cast<IconElement*>(element);
      if (icon->callback != nullptr) instance->iconValues[i] = icon->callback(element);
    }
  }
  Broadcast(kServicePostDraw, 0);
  TakeContent();
}

void Panel::TakeContent() {
  for (auto& instance : instances_) {
    for (size_t i = 0; i < instance->elements.size(); ++i) {
      ElementHeader* element = instance->elements[i];
      if (element->flags & kElementOnScreen) continue;
      if (i < instance->surfaces_.size() && instance->surfaces_[i] != nullptr) {
        const platform::ElementSurface& surface = *instance->surfaces_[i];
        ShownSurface& shown = instance->shown[i];
        surface.CopyPixels(shown.pixels);
        shown.width = surface.Width();
        shown.height = surface.Height();
      }
      element->flags |= kElementOnScreen;
      ++instance->redraws[i];
    }
  }
}

void Panel::Remove() {
  if (!installed_) return;
  Broadcast(kServicePanelClose, 0);
  Broadcast(kServiceRemove, 0);
  for (auto& instance : instances_)
    if (instance->header.kill != nullptr) instance->header.kill();
  Broadcast(kServicePostRemove, 0);
  installed_ = false;
}

void Panel::Disconnect() {
  if (!connected_) return;
  Broadcast(kServiceDisconnect, 0);
  connected_ = false;
}

std::span<const MouseArea> MouseAreaRecords(const GaugeHeader& gauge) {
  constexpr size_t kMaxRecords = 255;
  const MouseArea* list = gauge.mouseAreas;
  if (list == nullptr || list[0].kind != kMouseListStart) return {};
  size_t count = 0;
  while (count < kMaxRecords && list[1 + count].kind != kMouseListEnd) ++count;
  return {list + 1, count};
}

bool Panel::Click(GaugeInstance& instance, int x, int y, uint32_t mouseFlags) {
  for (const MouseArea& a : MouseAreaRecords(instance.header)) {
    if (a.kind != kMouseArea || !Contains(a, x, y) || (a.acceptedFlags & mouseFlags) == 0 || a.handler == nullptr)
      continue;
    PixelPoint relative{x - a.x, y - a.y};
    a.handler(&relative, mouseFlags);
    return true;
  }
  return false;
}

}  // namespace kvr::host
