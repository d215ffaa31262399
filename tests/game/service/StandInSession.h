// A test's side of a session against the stand-in servers (tools/standin):
// writes the scenario each server plays, connects the real protocol through a
// real NetClient, drives the protocol poll and the dream step frame by frame,
// and reads what the servers received.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/NetClient.h"
#include "game/service/GameProtocol.h"

// A JSON string holding these bytes: the servers take each character as one
// byte (latin-1).
std::string JsonText(const std::string& bytes);

// Steps of a game-server script.
std::string Send(const std::string& bytes);
std::string Expect(const std::string& bytes);
std::string HangUp();

class StandInSession : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The game server's script for the next connection; the transcript is
  // named after the test.
  void GameScript(const std::vector<std::string>& steps);
  // The file server's settings for the next connections (JSON members
  // without braces, may be empty); transcripts are named after the test.
  void FileScenario(const std::string& members);
  // A dream the file server will serve, from standin\dreams.
  void ServeDream(const std::string& id, const std::string& bytes);
  // The steps that log in as the fixture's player.
  static std::vector<std::string> LoginSteps(const std::string& greeting = "Welcome\nEND\n");
  static std::string LoginBytes();

  // Connects the protocol to the stand-in game server, as the in-game scene
  // does, and waits for the login to complete.
  void Connect();
  void ConnectAndLogIn();

  // One frame of the in-game scene's work: poll, status lines, dream step.
  void Frame();
  // Frames until the condition holds; false after the time limit.
  bool RunUntil(const std::function<bool()>& done, int milliseconds = 15000);
  bool Saw(const std::string& statusLine) const;
  // Frames without the dream step until every transfer's download is done.
  bool DownloadsFinish(int milliseconds = 15000);

  // What a server received on connection n of this test, once it equals
  // expected or the time limit has passed.
  std::string GameTranscript(const std::string& expected, int connection = 1);
  std::string FileTranscript(const std::string& expected, int connection = 1);
  bool FileServerConnected(int connection = 1) const;

  std::string testName_;
  std::unique_ptr<NetClient> game_;
  std::vector<std::string> statusLines_;
  bool dreamStep_ = true;
  WorldEffects previousEffects_ = {};
  bool started_ = false;  // a skipped test has nothing to put back
};

std::string RandomBytes(size_t size, unsigned seed);
