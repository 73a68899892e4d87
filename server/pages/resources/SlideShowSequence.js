var intervalID = 0;
var maxNumber = 1;
var newMax = 0;
var currentIndex = 0;
var IntervalTime = 5;
var array2 = [];
var next_img_url = '';
var params = new URLSearchParams(window.location.search);
var page = params.get('page');
var word = params.get('word');
var interval = params.get('interval');
if (interval !== null && Number(interval) > 0) {
	IntervalTime = Number(interval);
}
// The list field and order code of the key of the page: every image key starts with them.
function extractBeforeSecondDash(text) {
	var match = /^(.* ?)-(.* ?)-/.exec(text);
	if (match) {
		return match[1] + '-' + match[2];
	}
	return text;
}
var prefix = extractBeforeSecondDash(page);
function initializeAndShuffleArray(max) {
	array2 = [];
	for (var i = 0; i < max; i++) {
		array2.push(i);
	}
	currentIndex = 0;
	array2.sort(() => Math.random() - 0.5);
}
function createStringFromCurrentElement() {
	if (currentIndex >= 0 && currentIndex < array2.length) {
		return prefix + '-' + array2[currentIndex];
	}
	console.log('currentIndexが配列の範囲外です。');
	return null;
}
// Bound afresh for every image, so each loaded image advances the sequence once.
function onImageLoaded() {
	$('#main').fadeIn(fadeTime(400));
	fitImg();
	currentIndex++;
	if (currentIndex >= array2.length) {
		initializeAndShuffleArray(maxNumber);
	}
}
// The fades take 1.4 s in all; an interval under 2 s shortens them in
// proportion. At full length they would outlast the interval, and every
// other picture would be skipped.
function fadeTime(full) {
	return Math.min(full, Math.floor(full * IntervalTime / 2));
}
function countup() {
	$('#main').fadeOut(fadeTime(1000), function () {
		next_img_url = 'image?page=' + createStringFromCurrentElement() + '&width=' + screenWidth();
		if (word) {
			next_img_url += '&word=' + encodeURIComponent(word);
		}
		$('#main').off('load', onImageLoaded).one('load', onImageLoaded);
		// The srcset of the first picture would keep it in place of every later src.
		$('#main').removeAttr('srcset').attr('src', next_img_url);
	});
}
function checkMax() {
	$.ajax({url: '{{next_url_link}}', type: 'GET', cache: false, dataType: 'json'}).done(function (reply) {
		if (reply && reply.ImageURL !== undefined) {
			newMax = reply.ImageURL;
			if (newMax !== maxNumber || currentIndex >= array2.length) {
				maxNumber = newMax;
				initializeAndShuffleArray(maxNumber);
			}
		}
	});
}
$(function () {
	checkMax();
	intervalID = setInterval(countup, IntervalTime * 1000);
	setInterval(checkMax, 60000);
});
