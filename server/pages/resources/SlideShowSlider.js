$('#speed-slider').val(IntervalTime);
$('#speedDisplay').text(IntervalTime);
$('#speed-slider').on('input', function () {
	IntervalTime = Number($(this).val());
	$('#speedDisplay').text(IntervalTime);
	clearInterval(intervalID);
	intervalID = setInterval(countup, IntervalTime * 1000);
});
