#pragma once

#include <QQmlApplicationEngine>

class MacViewModel;

// Puts the window's objects where the views find them and loads the main window.
namespace Application {

// Registers `viewModel` and the formatting helpers for QML, installs the symbol images and
// loads the window into `engine`. Returns false when the window could not be created.
bool loadMainWindow(QQmlApplicationEngine& engine, MacViewModel& viewModel);

// Only the registrations, for tests that load single views.
void registerViewTypes(MacViewModel& viewModel);

} // namespace Application
