$(document).keydown(function (e) {
if(e.altKey==false){
		switch (e.which){
		case 39: // Key[→]
				window.location.href = $('#NextPage').attr('href');
			break; 
		case 37: // Key[←]
				window.location.href = $('#PrevPage').attr('href');
			break; 
		}
	}
});
$(window).keyup(function (e) {
if(e.altKey==false){
		switch (e.which){
		case 227: // Key[早送り]
				window.location.href = $('#NextPage').attr('href');
			break; 
		case 228: // Key[巻き戻し]
				window.location.href = $('#PrevPage').attr('href');
			break; 
		}
	}
});
