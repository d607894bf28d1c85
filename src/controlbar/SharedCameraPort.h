#pragma once
// The control bar's way to the main camera in the program: the controller published in
// `sharedCameraController`, or none while it is not published.
#include "controlbar/ControlBarModel.h"

namespace qv::controlbar {

ControlBarModel::CameraProvider sharedCameraProvider();

}  // namespace qv::controlbar
