#pragma once
// The single export screen of a loaded package, and the entry that creates or shows it.

#include "screen/frm_exp_dados.h"

namespace kve {

// The single instance; null when no screen exists.
extern TfrmExpDados* frmExpDados;
// A screen has been created since the package was loaded and not closed since.
extern bool ExpDadosCriado;

// What every screen is built with; the host installs it before the first entry call and
// removes it (null) before it destroys the services. Installing another set does not touch
// an open screen.
void InstallExpDadosServices(ExpDadosServices* services);

// Creates the screen when none exists and brings it to the front in normal window state.
// Errors of the start-up pass on to the caller, with no screen left behind.
void CriaExpDados();

// The package entry: CriaExpDados, any error passing on to the host.
void IniProc();

// Unit initialisation and finalisation of the package: clears the created-flag; finalisation
// also destroys any screen still held.
void InitExpDadosUnit();
void FinalizeExpDadosUnit();

// For the close step: `screen` stops being the single instance (it is destroyed at the next
// entry call or at finalisation, never while it runs).
void ReleaseExpDadosInstance(TfrmExpDados* screen);

}  // namespace kve
