# Read by ctest after the gtest cases are discovered: the cases that need ffmpeg's
# encoders, or run for more than 2 s on a busy machine, get the labels ffmpeg and slow
# besides their area's.
function(quillfen_label area labels pattern)
  foreach(name IN LISTS ${area}_tests_TESTS)
    if(name MATCHES "${pattern}")
      set_tests_properties("${name}" PROPERTIES LABELS "${area};${labels}")
    endif()
  endforeach()
endfunction()

quillfen_label(engine ffmpeg "^Ffmpeg/Line21Ffmpeg\\..*$")
quillfen_label(analysers ffmpeg "^Ffmpeg/CaptionMedia\\..*$")
quillfen_label(engine slow
  "^DemuxLoop\\.FastCheckStopsAfterTheBlockEndingPast300MB$")
quillfen_label(engine "slow;ffmpeg" "^(Ffmpeg/(DvdVideoPcm|DiscPcm)\\..*|PcmOutTest\\..*)$")
quillfen_label(jobs "slow;ffmpeg"
  "^(Ffmpeg/.*|ReadJobTest\\.DvdVideoLpcmAgreesWithFfprobe|ReadJobTest\\.PulldownFramesAndTheirDisplayedTime)$")
quillfen_label(jobs ffmpeg "^RebuildIds\\.FfprobeListsEveryKeptStreamOnce$")
quillfen_label(jobs slow
  "^(FaultTest\\.SourceBeyond4GiB|FaultTest\\.ReadsThatFailEndEveryJobWithTheirReason|ReadJobTest\\.FastCheckStopStillRunsTheFollowUp)$")
quillfen_label(cli "slow;ffmpeg" "^(JsonReportTest|PcmDemuxTest|HdSubpictures|Sources/MkvTest)\\.")
quillfen_label(cli ffmpeg "^EventsTest\\.")
quillfen_label(cli slow
  "^(IntAndTerm/SignalTest\\..*|LateStreamTest\\.IsWrittenWithoutASelectionAndNamedWithOne|TerminalTest\\.ProgressRedrawsAtMostTenTimesASecondAndGoesBeforeTheLog)$")
# Every case reads the DVD-Video discs ffmpeg and dvdauthor make (here and below).
foreach(name IN LISTS dvd_tests_TESTS)
  set_tests_properties("${name}" PROPERTIES LABELS "slow;ffmpeg")
endforeach()
foreach(name IN LISTS segment_disc_tests_TESTS)
  set_tests_properties("${name}" PROPERTIES LABELS "slow;ffmpeg")
endforeach()
foreach(name IN LISTS angle_disc_tests_TESTS)
  set_tests_properties("${name}" PROPERTIES LABELS "slow;ffmpeg")
endforeach()
