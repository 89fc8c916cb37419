#!/usr/bin/env bash
# Remakes the screenshots in docs/ (main window, About box, destination dialog, internet settings
# and key creation dialogs, progress window, key management, key property, key export and import
# dialogs) on a private X server, with a built desktop_test from the given build folder (default:
# build/).
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build}
PELLMAR_SCREENSHOT_FOLDER="$PWD/docs" tests/ui/run_under_xvfb.sh \
  "$build/tests/ui/desktop_test" ScreenshotsOfTheWindows ScreenshotsOfThePublishingDialogs \
  ScreenshotsOfTheKeyPairDialogs \
  ScreenshotOfTheProgressWindow
