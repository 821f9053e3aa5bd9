#pragma once

class MainApp;

// The editor's start, in the order main runs it. Split out so that a test can start the
// editor as main does.

// Organisation, application name and version: before the application object exists.
void setApplicationIdentity();

// Everything after the application object is built, up to the first window shown: the
// working directory, the message handler, the style sheet and fonts, then the first window.
void startUp(MainApp& app);
