// The fixed limits of the monitor: cameras, detections per camera, regions per detection, trigger inputs.
#pragma once

constexpr int kMaxCameras = 8;
constexpr int kMaxDetections = 8;
constexpr int kMaxRegions = 100;
constexpr int kTriggerInputs = 8;
