// The IVSI controller: options, installation, the per-frame step and teardown. The face itself (dial,
// traffic, composition) is drawn by the display object, which this controller builds and paces.
#include "module/display/ivsi_gauge.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "module/display/display.h"
#include "module/display/ivsi_display.h"
#include "module/gauge/gauge.h"
#include "module/logic/logic.h"
#include "module/probe/probe.h"

namespace kvr {

namespace {

// The controllers this module made and has not freed yet: only these are taken from a state word.
std::vector<IvsiGauge*> madeControllers;

IvsiGauge* ControllerOf(const GaugeHeader* gauge) {
  auto* state = static_cast<IvsiGauge*>(gauge->gaugeState);
  if (state == nullptr) return nullptr;
  return std::find(madeControllers.begin(), madeControllers.end(), state) != madeControllers.end() ? state : nullptr;
}

ElementHeader* FirstChild(ElementHeader* element) {
  return element != nullptr && element->children != nullptr ? element->children[0] : nullptr;
}

ElementHeader* RootElement(GaugeHeader* gauge) {
  return gauge->elementList != nullptr ? gauge->elementList[0] : nullptr;
}

constexpr float kVerticalSpeedToFpm = 0.76875f;  // simulator variable 65 to feet per minute

// The tick counter truncated to an integer, low 16 bits kept; a value that is no number of ticks gives 0.
uint16_t TickOf(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.0e18) return 0;
  return static_cast<uint16_t>(static_cast<int64_t>(value));
}

// Releases what installation built for drawing: the display, then the template context.
void ReleaseDrawing(IvsiGauge* ivsi) {
  DestroyIvsiDisplay(ivsi->display);
  ivsi->display = nullptr;
  platform::ReleaseContext(ivsi->templateContext);
  ivsi->templateContext = nullptr;
}

void MarkChanged(ElementHeader* element) { element->flags &= ~kElementOnScreen; }

}  // namespace

void FillSimSnapshot(SimSnapshot& snapshot) {
  RefreshVariable(&snapshot.tickRecord);
  RefreshVariable(&snapshot.verticalSpeedRecord);
  snapshot.tick = TickOf(snapshot.tickRecord.value.f64);
  snapshot.verticalSpeedFpm = static_cast<float>(snapshot.verticalSpeedRecord.value.f64) * kVerticalSpeedToFpm;
}

IvsiOptions ParseIvsiOptions(const char* parameters) {
  IvsiOptions options;
  options.useProbe = SwitchOption(parameters, "pic", true);
  options.antiAliased = SwitchOption(parameters, "aa", true);
  options.bluePlane = SwitchOption(parameters, "blueplane", true);
  // Compositions per second asked for, turned into an interval in 18 Hz ticks rounded to the nearest;
  // 0, and anything above 36, compose every frame. The result is kept as the unsigned 16 bits it is.
  const int32_t rate = IntegerOption(parameters, "vsirate", 18);
  options.refreshTicks = rate == 0 ? 0 : static_cast<uint16_t>((rate / 2 + 18) / rate);
  const int32_t other = IntegerOption(parameters, "other", 999);
  options.normalBand = other < 0 ? 0 : other;
  options.fontScale = FloatOption(parameters, "fontscale", 1.0f);
  options.publishVariables = SwitchOption(parameters, "nv", true);
  return options;
}

bool IvsiHasController(const GaugeHeader* gauge) { return gauge != nullptr && ControllerOf(gauge) != nullptr; }

void IvsiConnect(GaugeHeader* gauge) {
  auto* ivsi = new (std::nothrow) IvsiGauge;
  if (ivsi != nullptr) madeControllers.push_back(ivsi);
  gauge->gaugeState = ivsi;
}

void IvsiDisconnect(GaugeHeader* gauge) {
  IvsiGauge* ivsi = ControllerOf(gauge);
  if (ivsi == nullptr) return;
  // A gauge disconnected without removal still gives back its drawing objects.
  ReleaseDrawing(ivsi);
  madeControllers.erase(std::find(madeControllers.begin(), madeControllers.end(), ivsi));
  delete ivsi;
  gauge->gaugeState = nullptr;
}

void IvsiInstall(GaugeHeader* gauge) {
  IvsiGauge* ivsi = ControllerOf(gauge);
  ivsi->gauge = gauge;
  ivsi->options = ParseIvsiOptions(gauge->parameters);
  if (ivsi->options.useProbe) OpenProbe();
  if (ivsi->options.publishVariables) PublishSelectorVariables();

  ivsi->drawingElement = FirstChild(RootElement(gauge));
  if (ivsi->drawingElement == nullptr) return;  // the gauge stays without a display
  // The display's drawing context is made compatible with the element's own, which is only borrowed.
  platform::ReleaseContext(ivsi->templateContext);
  platform::DrawContext elementContext = platform::ContextFromHost(ivsi->drawingElement->deviceContext);
  ivsi->templateContext = platform::MakeCompatibleContext(elementContext);
  platform::ReleaseContext(elementContext);
  if (const SurfaceInfo* surface = ivsi->drawingElement->surfaceInfo) {
    ivsi->width = surface->width;
    ivsi->height = surface->height;
  }
  ivsi->lastComposeTick = 0xFC00;

  // Bound once: a Logic gauge published later is not looked for again.
  VariableRecord logic{};
  BindVariable(&logic, "KVR_TCAS!Logic");
  ivsi->logicBinding = logic.valuePointer != nullptr && logic.typeCode == kTypeObject
                           ? static_cast<TrafficSource**>(logic.valuePointer)
                           : nullptr;

  // A second installation rebuilds the display.
  DestroyIvsiDisplay(ivsi->display);
  const IvsiOptions& o = ivsi->options;
  ivsi->display = CreateIvsiDisplay(ivsi->templateContext, ivsi->logicBinding, ivsi->width, ivsi->height, o.antiAliased,
                                    o.bluePlane, o.normalBand, o.fontScale);
}

void IvsiDrawFrame(GaugeHeader* gauge) {
  IvsiGauge* ivsi = ControllerOf(gauge);
  if (ivsi->drawingElement == nullptr) return;

  FillSimSnapshot(ivsi->snapshot);
  if (ivsi->options.useProbe) {
    selectors.lit = ProbeLit();
    selectors.power = ProbePowered();
    selectors.vsiFlag = ProbeVsiValid() == 0 ? 1 : 0;
  }

  // The traffic layer is repainted when the picture has run a frame since, when there is no picture to
  // ask, or when a redraw is asked for; a redraw also composes at once, whatever the pacing.
  TrafficSource* source = ivsi->logicBinding != nullptr ? *ivsi->logicBinding : nullptr;
  bool compose = false;
  if (selectors.redraw != 0 || source == nullptr || ivsi->lastUpdateCount != source->updateCount) {
    if (source != nullptr) ivsi->lastUpdateCount = source->updateCount;
    if (ivsi->display != nullptr) DrawTrafficLayer(*ivsi->display);
    MarkChanged(ivsi->drawingElement);
    compose = selectors.redraw != 0;
  }
  // Pacing: ticks since the last composition, both taken as unsigned 16-bit numbers, so that a wrap of
  // the counter reads as a long time and composes.
  const int32_t ticksSince = static_cast<int32_t>(ivsi->snapshot.tick) - static_cast<int32_t>(ivsi->lastComposeTick);
  if (compose || std::abs(ticksSince) >= static_cast<int32_t>(ivsi->options.refreshTicks)) {
    ivsi->lastComposeTick = ivsi->snapshot.tick;
    if (ivsi->display != nullptr) {
      ComposeFrame(*ivsi->display, ivsi->drawingElement->deviceContext, 0, 0, ivsi->snapshot.verticalSpeedFpm,
                   selectors.power != 0, selectors.vsiFlag != 0);
    }
    MarkChanged(ivsi->drawingElement);
  }

  // The lit overlay is the drawing element's second child.
  ElementHeader** children = ivsi->drawingElement->children;
  if (children != nullptr && children[0] != nullptr && children[1] != nullptr) {
    if (selectors.lit != 0) children[1]->flags &= ~kElementHidden;
    else children[1]->flags |= kElementHidden;
  }
  selectors.redraw = 0;
}

void IvsiTeardown(GaugeHeader* gauge) {
  IvsiGauge* ivsi = ControllerOf(gauge);
  if (ivsi->options.publishVariables) WithdrawSelectorVariables();
  if (ivsi->options.useProbe) CloseProbe();
  ReleaseDrawing(ivsi);
}

}  // namespace kvr
