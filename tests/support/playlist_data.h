#pragma once
// The playlists in tests/data/playlist and what their listings hold, line by line.
#include <string>
#include <vector>

namespace qf::test {

using Lines = std::vector<std::string>;

inline const std::string kPlaylistData = std::string(QUILLFEN_TEST_DATA) + "/playlist/";
inline const std::string kDisc = kPlaylistData + "VPLST000.XPL";
inline const std::string kOdd = kPlaylistData + "ODDITIES.XPL";

// The feature and the trailer title of VPLST000.XPL as its listing holds them.
inline const Lines kTrailerTitle = {
    R"(      <Title id="Trailer" titleNumber="3" displayName="Trailer" titleDuration="00:02:10:00">)",
    R"(        <PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" titleTimeEnd="00:02:10:00" src="file:///dvddisc/HVDVD_TS/TRAILER.MAP">)",
    R"(          <Video track="1" mediaAttr="1"/>)",
    R"(          <Audio track="1" streamNumber="1" mediaAttr="1" langcode="en:00" description="English"/>)",
    R"(        </PrimaryAudioVideoClip>)",
    R"(      </Title>)",
};

inline const Lines kFeatureTitle = {
    R"(      <Title id="Feature" titleNumber="1" displayName="Harbour Lights [Feature]" titleDuration="01:42:10:00">)",
    R"(        <PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" titleTimeEnd="01:42:10:00" src="file:///dvddisc/HVDVD_TS/FEATURE_1.MAP">)",
    R"(          <Video track="1" mediaAttr="1"/>)",
    R"(          <Audio track="1" streamNumber="1" mediaAttr="1" langcode="en:00" description="English"/>)",
    R"(          <Audio track="2" streamNumber="2" mediaAttr="2" langcode="en:00" description="English [Lossless]"/>)",
    R"(          <Audio track="3" streamNumber="3" mediaAttr="3" langcode="fr:00" description="Director/Commentary"/>)",
    R"(          <Subtitle track="1" streamNumber="1" mediaAttr="1" langcode="en:00" description="English"/>)",
    R"(          <Subtitle track="2" streamNumber="17" mediaAttr="2" langcode="de:00" description="Deutsch"/>)",
    R"(          <Subtitle track="3" streamNumber="20" mediaAttr="1" langcode="ja:00" description="Japanese"/>)",
    R"(        </PrimaryAudioVideoClip>)",
    R"(        <ChapterList>)",
    R"(          <Chapter titleTimeBegin="00:00:00:00" displayName="Opening"/>)",
    R"(          <Chapter titleTimeBegin="00:12:30:00"/>)",
    R"(          <Chapter titleTimeBegin="00:47:05:12" displayName="The Storm"/>)",
    R"(        </ChapterList>)",
    R"(      </Title>)",
};

inline Lines wholeDisc() {
    Lines l = {
        R"(<?xml version="1.0" encoding="UTF-8"?>)",
        R"(<!DOCTYPE Playlist>)",
        R"(  <!-- Harbour Lights disc: the feature and two extras -->)",
        R"(  <Playlist xmlns="http://www.dvdforum.org/2005/HDDVDVideo/Playlist" majorVersion="1" minorVersion="0" displayName="Harbour Lights">)",
        R"(    <Configuration>)",
        R"(      <StreamingBuffer size="0"/>)",
        R"(      <Aperture name="1920x1080"/>)",
        R"(    </Configuration>)",
        R"(    <MediaAttributeList>)",
        R"(      <VideoAttributeItem index="1" codec="VC-1" sampleAspectRatio="16:9" horizontalResolution="1920" verticalResolution="1080" encodedFrameRate="24" sourceFrameRate="24"/>)",
        R"(      <VideoAttributeItem index="2" codec="MPEG-2" sampleAspectRatio="4:3" horizontalResolution="720" verticalResolution="480"/>)",
        R"(      <AudioAttributeItem index="1" codec="DD+" sampleFrequency="48" channels="6" bitrate="640"/>)",
        R"(      <AudioAttributeItem index="2" codec="MLP" sampleFrequency="48" channels="8">)",
        R"(      </AudioAttributeItem>)",
        R"(      <AudioAttributeItem index="3" codec="DTS-HD" sampleFrequency="48"/>)",
        R"(      <SubpictureAttributeItem index="1" codec="2bitRLE"/>)",
        R"(      <SubpictureAttributeItem index="2" codec="8bitRLE"/>)",
        R"(    </MediaAttributeList>)",
        R"(    <TitleSet timeBase="60fps" defaultLanguage="en">)",
        R"(      <!-- the feature; its chapters follow the clip -->)",
    };
    l.insert(l.end(), kFeatureTitle.begin(), kFeatureTitle.end());
    const Lines rest = {
        R"(      <Title id="Bonus" titleNumber="2" displayName="Making Of" titleDuration="00:20:00:00">)",
        R"(        <PrimaryAudioVideoClip titleTimeBegin="00:00:00:00" titleTimeEnd="00:20:00:00" src="file:///dvddisc/HVDVD_TS/BONUS.MAP">)",
        R"(          <Video track="1" mediaAttr="2"/>)",
        R"(          <Audio track="1" streamNumber="1" mediaAttr="1" langcode="en:00" description="English"/>)",
        R"(        </PrimaryAudioVideoClip>)",
        R"(        <ChapterList>)",
        R"(          <Chapter titleTimeBegin="00:00:00:00" displayName="Making Of"/>)",
        R"(        </ChapterList>)",
        R"(      </Title>)",
        R"(    </TitleSet>)",
        R"(  </Playlist>)",
    };
    l.insert(l.end(), rest.begin(), rest.end());
    l.insert(l.end() - 2, kTrailerTitle.begin(), kTrailerTitle.end());
    return l;
}

} // namespace qf::test
