// The host's "modelr" model over an OBJ file and its MTL library: the input is the OBJ text, a
// NUL, then the MTL text. Whatever the files say, the model loads or falls back to one empty
// part, every sub-mesh's vertex buffer holds its vertices, every attachment can be read back by
// index, and a segment test answers a fraction in [0, 1] or the miss value 2.
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "frame/dma_interface.h"
#include "module_fuzz_host.h"
#include "host/model_object.h"
#include "host/standard_host.h"

namespace {

using State = fuzz::ModuleFuzzHost;


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  State& s = fuzz::Once<State>();
  const std::string_view text = fuzz::AsText(data, size);
  const size_t split = text.find('\0');
  s.root.Put("m/model.obj", std::string(text.substr(0, split)));
  s.root.Put("m/model.mtl", split == std::string_view::npos ? std::string() : std::string(text.substr(split + 1)));

  host::ReferenceHost& h = s.standard->host;
  ComponentHandle handle{};
  h.CreateObject(&handle, "modelr");
  host::ModelObject* model = s.standard->objects->models->Last();
  FUZZ_CHECK(model != nullptr, "no model was made");
  h.SendMessage(handle, "lss", 20500, "m\\model.obj", "");

  FUZZ_CHECK(model->PartCount() >= 1, "a model without a part");
  for (size_t k = 0; k < model->PartCount(); ++k) FUZZ_CHECK(model->GetGeometry(static_cast<int32_t>(k)) != nullptr, "a part without its record");
  FUZZ_CHECK(model->GetGeometry(static_cast<int32_t>(model->PartCount())) == nullptr, "a part past the last");
  host::ModelAttachments& a = model->Attachments();
  for (int32_t i = 0; i < a.GetLightCount(); ++i) FUZZ_CHECK(a.GetLight(i) != nullptr, "a light that cannot be read");
  for (int32_t i = 0; i < a.GetNodeCount(); ++i) FUZZ_CHECK(a.GetNode(i) != nullptr, "a node that cannot be read");
  FUZZ_CHECK(a.GetLight(a.GetLightCount()) == nullptr && a.GetNode(-1) == nullptr, "an attachment past the ends");
  const D3DVECTOR from{0, 100, 0}, to{0, -100, 0};
  const float t = model->RayTest(&from, &to);
  FUZZ_CHECK(t == 2.0f || (t >= 0.0f && t <= 1.0f), "a segment test outside [0, 1] that is not a miss");

  h.DestroyObject(handle);
  h.ClearLog();
  return 0;
}
