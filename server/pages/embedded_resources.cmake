# Built into lv_pages at build time: every file below becomes a generated source holding its
# bytes (embed_resource.cmake), so the server needs no file beside itself at run time.
set(LV_NPM_MODULES ${PROJECT_SOURCE_DIR}/node_modules)
set(LV_EMBEDDED
  JqueryMinJs ${LV_NPM_MODULES}/jquery/dist/jquery.min.js
  JqueryUiJs ${LV_NPM_MODULES}/jquery-ui/dist/jquery-ui.js
  ImagePageUiJs ${CMAKE_CURRENT_SOURCE_DIR}/resources/ImagePageUI.js
  ImagePageJs ${CMAKE_CURRENT_SOURCE_DIR}/resources/ImagePage.js
  ImagePageMoveJs ${CMAKE_CURRENT_SOURCE_DIR}/resources/ImagePageMove.js
  ImageViewerJs ${CMAKE_CURRENT_SOURCE_DIR}/resources/ImageViewer.js
  ImageThumbnailPageMoveByKeyJs ${CMAKE_CURRENT_SOURCE_DIR}/resources/ImageThumbnailPageMoveByKey.js
  ImageThumbnailPageMoveByTouchJs
    ${CMAKE_CURRENT_SOURCE_DIR}/resources/ImageThumbnailPageMoveByTouch.js
  SwipeTrackingJs ${CMAKE_CURRENT_SOURCE_DIR}/resources/SwipeTracking.js
  ImagePageLikeJs ${CMAKE_CURRENT_SOURCE_DIR}/resources/ImagePageLike.js
  SlideShowSequenceJs ${CMAKE_CURRENT_SOURCE_DIR}/resources/SlideShowSequence.js
  SlideShowSliderJs ${CMAKE_CURRENT_SOURCE_DIR}/resources/SlideShowSlider.js
  UploaderJs ${CMAKE_CURRENT_SOURCE_DIR}/resources/Uploader.js
  FontCss ${CMAKE_CURRENT_SOURCE_DIR}/resources/font.css
  DirectImagePageCss ${CMAKE_CURRENT_SOURCE_DIR}/resources/DirectImagePage.css
  HeaderBarCss ${CMAKE_CURRENT_SOURCE_DIR}/resources/5-1-9.css)

foreach(npm_file jquery/dist/jquery.min.js jquery-ui/dist/jquery-ui.js)
  if(NOT EXISTS ${LV_NPM_MODULES}/${npm_file})
    message(FATAL_ERROR "${LV_NPM_MODULES}/${npm_file} is missing: "
                        "run `make deps` to install the npm packages (npm ci).")
  endif()
endforeach()

while(LV_EMBEDDED)
  list(POP_FRONT LV_EMBEDDED symbol input)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/embed_resource.cmake
    DEPENDS ${input} ${CMAKE_CURRENT_SOURCE_DIR}/embed_resource.cmake
    COMMENT "Embedding ${input}"
    VERBATIM)
  target_sources(lv_pages PRIVATE ${output})
endwhile()
