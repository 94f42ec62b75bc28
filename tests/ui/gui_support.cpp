#include "gui_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSettings>
#include <QTimer>
#include <QtTest>

namespace qf::test {

std::vector<GuiSuite>& guiSuites() {
    static std::vector<GuiSuite> suites;
    return suites;
}

SettingsSandbox::SettingsSandbox() {
    for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, dir_.path());
}

SettingsSandbox::~SettingsSandbox() = default;

std::shared_ptr<BoxAnswer> answerNextMessageBox(QMessageBox::StandardButton button) {
    auto answer = std::make_shared<BoxAnswer>();
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    // Only while the test keeps the answer: a box of a later test is not answered.
    QObject::connect(timer, &QTimer::timeout, [timer, tries, weak = std::weak_ptr(answer), button] {
        const auto held = weak.lock();
        if (!held) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            held->text = box->text();
            ++held->seen;
            if (QAbstractButton* b = box->button(button))
                b->click();
            else
                box->reject();
        }
        if (box || ++*tries > 500) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    return answer;
}

std::unique_ptr<TfMain> startedWindow(ScriptedDialogs** dialogs) {
    auto w = std::make_unique<TfMain>();
    auto scripted = std::make_unique<ScriptedDialogs>();
    if (dialogs) *dialogs = scripted.get();
    w->setDialogs(std::move(scripted));
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get())) qWarning("window not exposed");
    for (int i = 0; i < 500 && !w->startedUp(); ++i) QTest::qWait(10);
    return w;
}

std::string dataFile(const std::string& name) {
    return std::string(QUILLFEN_TEST_DATA) + "/" + name;
}

Bytes writeSampleEvo(const std::string& path, size_t minBytes) {
    const Bytes m2v = readFile(dataFile("mpeg2_720x576_50_221.m2v"));
    const Bytes ac3 = readFile(dataFile("ac3_48k_448k_51.ac3"));
    Bytes video;
    do video.insert(video.end(), m2v.begin(), m2v.end());
    while (video.size() < minBytes);
    PsMuxer mux;
    PsMuxer::Track v;
    v.streamId = 0xE0;
    v.withDts = true;
    for (size_t at = 0; at < video.size(); at += 2000) {
        const size_t end = std::min(at + 2000, video.size());
        v.units.emplace_back(video.begin() + static_cast<std::ptrdiff_t>(at),
                             video.begin() + static_cast<std::ptrdiff_t>(end));
    }
    mux.add(v);
    for (uint8_t id : {uint8_t{0x80}, uint8_t{0x81}}) {
        PsMuxer::Track a;
        a.streamId = 0xBD;
        a.subHeader = subHeaderAudio(id);
        a.units.push_back(ac3);
        mux.add(a);
    }
    PsMuxer::Track s;
    s.streamId = 0xBD;
    s.subHeader = subHeaderSub(0x20);
    s.units.push_back(Bytes(64, 0x11));
    mux.add(s);
    writeFile(path, mux.build(true, 2, 1));
    return video;
}

const char* testPlaylist() {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<Playlist majorVersion="1" displayName="Test Disc">
  <MediaAttributeList>
    <VideoAttributeItem index="1" codec="MPEG-2"/>
    <AudioAttributeItem index="2" codec="DD+" channels="6"/>
    <SubpictureAttributeItem index="1" codec="2bitRLE"/>
  </MediaAttributeList>
  <TitleSet>
    <Title id="Extra" displayName="Trailer" titleDuration="00:01:00:00">
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/TRAILER.MAP"/>
    </Title>
    <Title id="Main" displayName="Main Feature" titleDuration="01:30:00:00">
      <PrimaryAudioVideoClip src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP">
        <Video track="1" mediaAttr="1"/>
        <Audio streamNumber="1" mediaAttr="2" description="English"/>
        <Subtitle streamNumber="2" mediaAttr="1" description="French"/>
      </PrimaryAudioVideoClip>
      <ChapterList>
        <Chapter titleTimeBegin="00:00:00:00" displayName="Start"/>
      </ChapterList>
    </Title>
  </TitleSet>
</Playlist>
)";
}

} // namespace qf::test
