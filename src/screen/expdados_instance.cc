#include "screen/expdados_instance.h"

#include <memory>

#include "platform/common/error.h"

namespace kve {

TfrmExpDados* frmExpDados = nullptr;
bool ExpDadosCriado = false;

namespace {

ExpDadosServices* g_services = nullptr;
std::unique_ptr<TfrmExpDados> g_screen;  // owns *frmExpDados
// A screen that closed itself: it may still be inside one of its own members when it gives
// the instance up, so it is destroyed at the next entry call, never from within.
std::unique_ptr<TfrmExpDados> g_closed;

}  // namespace

void InstallExpDadosServices(ExpDadosServices* services) { g_services = services; }

// Called by the close step: the screen stops being the instance.
void ReleaseExpDadosInstance(TfrmExpDados* screen) {
  if (frmExpDados == screen) frmExpDados = nullptr;
  if (g_screen.get() == screen) g_closed = std::move(g_screen);
}

void CriaExpDados() {
  if (!g_services) throw Error("KVE07000: the host has not installed the screen's services");
  HourglassCursor hourglass(g_services->busy);
  g_closed.reset();
  if (!ExpDadosCriado) {
    g_screen = std::make_unique<TfrmExpDados>(*g_services);
    frmExpDados = g_screen.get();
    try {
      frmExpDados->FormCreate();
    } catch (...) {
      // A failed start-up leaves no half-built screen behind for the next call to show.
      frmExpDados = nullptr;
      g_screen.reset();
      throw;
    }
    // A start-up that closed the screen (no central kitchen) has already cleared the flag;
    // leaving it set would make every later entry call show nothing.
    ExpDadosCriado = frmExpDados != nullptr;
  }
  if (frmExpDados) {
    frmExpDados->Show();
    frmExpDados->SetWindowState(TWindowState::wsNormal);
  }
  g_closed.reset();
}

void IniProc() { CriaExpDados(); }

void InitExpDadosUnit() { ExpDadosCriado = false; }

void FinalizeExpDadosUnit() {
  frmExpDados = nullptr;
  ExpDadosCriado = false;
  g_closed.reset();
  g_screen.reset();
}

}  // namespace kve
